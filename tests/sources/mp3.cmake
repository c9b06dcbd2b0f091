tembrel_add_test(mp3_source_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3_source_test.cpp
  LIBS mp3_source sources
  TIMEOUT 300)

# Compared with libmpg123 reading the files itself.
pkg_check_modules(MPG123_REFERENCE REQUIRED IMPORTED_TARGET libmpg123)
tembrel_add_test(mp3_whole_stream_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3_whole_stream_test.cpp
  LIBS mp3_source PkgConfig::MPG123_REFERENCE
  TIMEOUT 120)
