tembrel_add_test(platform_mpeg_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mpeg_frame_test.cpp ${CMAKE_CURRENT_LIST_DIR}/acm_test.cpp
  LIBS platform_mpeg)
