# VQF files written for tests as the encoder driver writes them; the decode and CLI
# suites use them too.
add_library(vqf_test_file STATIC ${CMAKE_CURRENT_LIST_DIR}/vqf_test_file.cpp)
target_link_libraries(vqf_test_file PUBLIC test_support vqfheader twinvq_stream tvqenc)

# The VQF source over the real codec libraries; fixtures are encoded by the tests.
tembrel_add_test(vqf_source_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vqf_source_test.cpp
  LIBS sources vqf_source vqf_test_file
  TIMEOUT 300)
