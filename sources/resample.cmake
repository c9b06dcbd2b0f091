# Sampling-rate conversion for sources at rates the encoder has no bit rate for (libsoxr).
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
add_library(resampler STATIC ${CMAKE_CURRENT_LIST_DIR}/resampler.cpp)
target_link_libraries(resampler PRIVATE PkgConfig::SOXR)
