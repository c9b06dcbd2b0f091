tembrel_add_test(driver_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/convert_settings_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/convert_job_walk_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/convert_job_policy_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/front_end_test.cpp
  LIBS driver)
tembrel_add_test(encode_workers_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/worker_messages_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/worker_pool_test.cpp
  LIBS encode_workers
  TIMEOUT 60)
