tembrel_add_test(platform_fs_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dir_search_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_ops_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/path_names_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/riff_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/safe_replace_test.cpp
  LIBS platform
  TIMEOUT 30)
