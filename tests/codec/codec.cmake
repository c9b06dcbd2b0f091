tembrel_add_test(codec_api_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_api_test.cpp
  LIBS tvqenc tvqdec)
tembrel_add_test(codec_roundtrip_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_roundtrip_test.cpp
  LIBS tvqenc tvqdec
  TIMEOUT 300)
tembrel_add_test(codec_fuzz_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_fuzz_test.cpp
  LIBS tvqenc tvqdec)
