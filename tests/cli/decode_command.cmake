# `tembrel-cli decode` and the VQF part of `tembrel-cli info`, run as a program.
tembrel_add_test(decode_command_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_command_test.cpp
  LIBS sources vqf_test_file
  TIMEOUT 120)
target_compile_definitions(decode_command_test PRIVATE TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>")
add_dependencies(decode_command_test tembrel-cli)
