tembrel_add_test(driver_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/convert_settings_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/convert_job_walk_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/convert_job_policy_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/front_end_test.cpp
  LIBS driver)
