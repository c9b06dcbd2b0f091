tembrel_add_test(tags_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/id3v1_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/id3v2_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/riff_info_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/damaged_input_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vorbis_comments_test.cpp
  LIBS tags
  TIMEOUT 60)
target_include_directories(tags_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})

tembrel_add_test(tags_tagger_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tagger_fixtures_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/todays_taggers_test.cpp
  LIBS tags
  TIMEOUT 60)
target_compile_definitions(tags_tagger_test PRIVATE
  TAGGER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/make_tagged_mp3.py")
target_include_directories(tags_tagger_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
