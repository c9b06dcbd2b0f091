# FLAC and Ogg (Vorbis, Opus) files, decoded by libsndfile.
add_library(sound_file_source STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_file_source.cpp)
target_link_libraries(sound_file_source PUBLIC platform_sndfile)
