# `tembrel-cli tag`: what runTag shows and saves, and the program run as a user runs it,
# signals included.
tembrel_add_test(tag_cli_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tag_cli_test.cpp
  LIBS tembrel_cli tagedit_fixtures
  TIMEOUT 300)
target_compile_definitions(tag_cli_test PRIVATE TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>")
add_dependencies(tag_cli_test tembrel-cli)
