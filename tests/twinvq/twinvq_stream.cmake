tembrel_add_test(bit_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bit_file_test.cpp
  LIBS twinvq_stream)

# The frame tests link a test double of the codec library functions (fake_tvq.cpp)
# instead of tvqenc/tvqdec, so that they choose the field widths and counts.
tembrel_add_test(frame_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frame_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frame_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fake_tvq.cpp
  LIBS twinvq_stream)
