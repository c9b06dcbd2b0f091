# The tag editor's file work on VQF files made by our encoder from lame's MP3s.
add_library(tagedit_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/vqf_parts.cpp)
target_link_libraries(tagedit_fixtures PUBLIC test_support twinvq_encoder)
tembrel_add_test(tagedit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tag_save_test.cpp
  LIBS tagedit tagedit_fixtures
  TIMEOUT 120)
