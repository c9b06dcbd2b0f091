# The tag editor's file work on VQF files made by our encoder from lame's MP3s.
tembrel_add_test(tagedit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tag_save_test.cpp ${CMAKE_CURRENT_LIST_DIR}/vqf_parts.cpp
  LIBS tagedit twinvq_encoder
  TIMEOUT 120)
