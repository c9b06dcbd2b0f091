# What `cmake --install` puts on a machine, checked as a desktop and a user meet it: the
# tree installed into a temporary DESTDIR (which the other checks read), the validators'
# verdicts, the VQF file type and its program, and manual pages that list every option.
set(install_check ${CMAKE_CURRENT_LIST_DIR}/check_install.sh)
set(install_args ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${TEMBREL_APP_ID} ${PROJECT_VERSION})
foreach(check tree desktop_files file_type manual_pages)
  add_test(NAME install.${check} COMMAND bash ${install_check} ${check} ${install_args})
  set_tests_properties(install.${check} PROPERTIES TIMEOUT 120)
  if(check STREQUAL "tree")
    set_tests_properties(install.${check} PROPERTIES FIXTURES_SETUP installed_tree)
  else()
    set_tests_properties(install.${check} PROPERTIES FIXTURES_REQUIRED installed_tree)
  endif()
endforeach()
