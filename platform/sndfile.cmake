# FLAC and Ogg (Vorbis, Opus) files opened through libsndfile, for the source that
# decodes them and the tag reader of their Vorbis comments.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_library(platform_sndfile STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_file.cpp)
target_link_libraries(platform_sndfile PUBLIC platform_headers PkgConfig::SNDFILE)
