# tembrel-cli under storage faults, run as a program.
tembrel_add_test(cli_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/faults_cli.cpp
  TIMEOUT 120)
target_compile_definitions(cli_faults_test PRIVATE TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>")
add_dependencies(cli_faults_test tembrel-cli)
