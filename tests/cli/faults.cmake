# tembrel-cli under storage faults, run as a program.
tembrel_add_test(cli_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/faults_cli.cpp
  TIMEOUT 120)
target_compile_definitions(cli_faults_test PRIVATE TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>")
add_dependencies(cli_faults_test tembrel-cli)

# Outputs that must survive failures, cancels and kills; warnings; paths in every form.
add_library(refuse_chmod MODULE ${CMAKE_CURRENT_LIST_DIR}/refuse_chmod.c)
target_link_libraries(refuse_chmod PRIVATE ${CMAKE_DL_LIBS})
tembrel_add_test(cli_outputs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/outputs_cli_test.cpp
  TIMEOUT 300)
target_compile_definitions(cli_outputs_test PRIVATE
  TEMBREL_CLI="$<TARGET_FILE:tembrel-cli>" REFUSE_CHMOD_LIBRARY="$<TARGET_FILE:refuse_chmod>")
add_dependencies(cli_outputs_test tembrel-cli refuse_chmod)
