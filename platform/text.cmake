# CP932 <-> UTF-8 and UTF-16 -> CP932 text conversion over glibc iconv; libunistring
# puts typed text into normal form C before it is converted strictly.
find_path(UNISTRING_INCLUDE_DIR uninorm.h REQUIRED)
find_library(UNISTRING_LIBRARY unistring REQUIRED)
add_library(platform_text STATIC ${CMAKE_CURRENT_LIST_DIR}/text_encoding.cpp)
target_include_directories(platform_text PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(platform_text PRIVATE ${UNISTRING_INCLUDE_DIR})
target_link_libraries(platform_text PRIVATE ${UNISTRING_LIBRARY})
