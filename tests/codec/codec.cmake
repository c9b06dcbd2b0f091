tembrel_add_test(codec_api_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_api_test.cpp
  LIBS tvqenc tvqdec)
tembrel_add_test(codec_roundtrip_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_roundtrip_test.cpp
  LIBS tvqenc tvqdec
  TIMEOUT 300)
tembrel_add_test(codec_fuzz_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_fuzz_test.cpp
  LIBS tvqenc tvqdec)
tembrel_add_test(codebook_generator_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codebook_generator_test.cpp)
add_dependencies(codebook_generator_test make_codebooks)
target_compile_definitions(codebook_generator_test PRIVATE
  MAKE_CODEBOOKS="$<TARGET_FILE:make_codebooks>"
  CODEBOOK_TABLE="${PROJECT_SOURCE_DIR}/codec/tables/shape_codebooks.cpp"
  PITCH_TABLE="${PROJECT_SOURCE_DIR}/codec/tables/pitch_codebooks.cpp")
tembrel_add_test(codec_lpc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_lpc_test.cpp
  LIBS tvq_core)
tembrel_add_test(codec_shape_search_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_shape_search_test.cpp
  LIBS tvqenc tvq_core)
tembrel_add_test(codec_masking_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_masking_test.cpp
  LIBS tvqenc)
tembrel_add_test(codec_mdct_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_mdct_test.cpp
  LIBS tvq_core)
tembrel_add_test(codec_pitch_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_pitch_test.cpp
  LIBS tvqenc tvqdec tvq_core)
tembrel_add_test(codec_stored_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_stored_file_test.cpp
  LIBS sources)
target_compile_definitions(codec_stored_file_test PRIVATE
  STORED_VQF_DIR="${CMAKE_CURRENT_LIST_DIR}/stored")
