# CP932 <-> UTF-8 and UTF-16 -> CP932 text conversion over glibc iconv.
add_library(platform_text STATIC ${CMAKE_CURRENT_LIST_DIR}/text_encoding.cpp)
target_include_directories(platform_text PUBLIC ${PROJECT_SOURCE_DIR})
