tembrel_add_test(mp3_source_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3_source_test.cpp
  LIBS mp3_source sources
  TIMEOUT 300)
