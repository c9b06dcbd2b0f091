tembrel_add_test(bit_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bit_file_test.cpp
  LIBS twinvq_stream)
