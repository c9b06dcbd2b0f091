# File-system stand-ins: directory search, attributes, deleting and renaming files,
# replacing a file through a temporary one, the current directory, the parts of a path
# name, and the RIFF reader behind the WAV source.
add_library(platform STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dir_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_attributes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/path_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/riff_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/safe_replace.cpp)
target_link_libraries(platform PUBLIC platform_headers)
