tembrel_add_test(sources_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/wav_source_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/source_selector_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pcm_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sound_file_source_test.cpp
  LIBS sources
  TIMEOUT 60)
