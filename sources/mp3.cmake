# The MPEG audio and RIFF "RMP3" source, decoding through the audio compression
# manager's stand-in.
add_library(mp3_source STATIC ${CMAKE_CURRENT_LIST_DIR}/mp3_source.cpp)
target_link_libraries(mp3_source PUBLIC platform_mpeg tags)
