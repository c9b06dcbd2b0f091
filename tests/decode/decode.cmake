# The decode into WAV, the WAV writer and the header description.
tembrel_add_test(vqf_decode_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/vqf_decode_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/sources/vqf_test_file.cpp
  LIBS vqf_decode sources tags tvqenc
  TIMEOUT 120)
