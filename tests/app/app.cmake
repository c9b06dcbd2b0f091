tembrel_add_qtest(app_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_test.cpp
  LIBS tembrel_app
  TIMEOUT 180)
