tembrel_add_qtest(progress_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/progress_text_test.cpp
  LIBS ui
  TIMEOUT 60)
tembrel_add_qtest(settings_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_test.cpp
  LIBS ui
  TIMEOUT 60)
tembrel_add_qtest(progress_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/progress_dialog_test.cpp
  LIBS ui
  TIMEOUT 180)
tembrel_add_qtest(tag_edit_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tag_edit_dialog_test.cpp
  LIBS ui tagedit_fixtures
  TIMEOUT 120)
tembrel_add_qtest(rename_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/rename_dialog_test.cpp
  LIBS ui
  TIMEOUT 120)
target_include_directories(rename_dialog_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/tags)
