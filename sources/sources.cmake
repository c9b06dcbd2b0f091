# The source interface, the selector with its table of kinds, the WAV source, and what
# the encoder makes of a source's samples (their layout, whether they need converting).
# Further kinds live in modules and targets of their own (mp3_source, vqf_source, sound_file_source); the
# table in source_kinds.cpp names their factories, so this target links whichever of
# them exist.
add_library(sources STATIC
  ${CMAKE_CURRENT_LIST_DIR}/conversion_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pcm_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_kinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_selector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_source.cpp)
target_link_libraries(sources PUBLIC platform
  $<TARGET_NAME_IF_EXISTS:mp3_source> $<TARGET_NAME_IF_EXISTS:vqf_source>
  $<TARGET_NAME_IF_EXISTS:sound_file_source>)
