tembrel_add_test(platform_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_encoding_test.cpp
  LIBS platform_text
  TIMEOUT 30)
