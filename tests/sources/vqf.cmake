# The VQF source over the real codec libraries; fixtures are encoded by the tests.
tembrel_add_test(vqf_source_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/vqf_source_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vqf_test_file.cpp
  LIBS sources vqf_source tvqenc
  TIMEOUT 300)
