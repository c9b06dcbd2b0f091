tembrel_add_test(rename_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/rename_pattern_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rename_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rename_log_test.cpp
  LIBS rename
  TIMEOUT 60)
target_include_directories(rename_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/tags)
