tembrel_add_test(vqfheader_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/chunk_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/header_manager_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/header_writer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/header_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_chunks_test.cpp
  LIBS vqfheader)
