# Progress state of the running job, shared by the encoder driver, the batch job and
# whatever displays progress.
add_library(job_progress STATIC
  ${CMAKE_CURRENT_LIST_DIR}/job_progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cancel_signals.cpp)
target_link_libraries(job_progress PUBLIC platform_headers Threads::Threads)
