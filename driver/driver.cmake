# The conversion settings and the batch job. No window code: a job runs with any
# progress display, renaming list and file encoder.
add_library(driver STATIC
  ${CMAKE_CURRENT_LIST_DIR}/convert_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert_job.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_walk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/front_end.cpp)
target_link_libraries(driver PUBLIC job_progress platform)
