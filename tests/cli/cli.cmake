tembrel_add_test(cli_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/progress_line_test.cpp
  LIBS tembrel_cli
  TIMEOUT 300)
target_compile_definitions(cli_test PRIVATE TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>"
                                            TEMBREL_VERSION="${PROJECT_VERSION}")
add_dependencies(cli_test tembrel-cli)
