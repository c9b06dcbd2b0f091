# Processes: how many cores this process may run on, and child processes that the
# program starts to share out work, each with a socket to talk to it.
add_library(platform_process STATIC
  ${CMAKE_CURRENT_LIST_DIR}/usable_cores.cpp
  ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp)
target_link_libraries(platform_process PUBLIC platform_headers)
