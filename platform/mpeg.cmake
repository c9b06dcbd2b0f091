# MPEG audio: frame headers, and the audio compression manager's conversion calls
# implemented over libmpg123.
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
add_library(platform_mpeg STATIC
  ${CMAKE_CURRENT_LIST_DIR}/acm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mpeg_frame.cpp)
target_link_libraries(platform_mpeg PUBLIC platform_headers PRIVATE PkgConfig::MPG123)
