# Converting several files at once in worker processes: the messages between a job and
# its workers, the worker's side and the job's pool of workers.
add_library(encode_workers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/encode_worker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worker_messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worker_pool.cpp)
target_link_libraries(encode_workers PUBLIC job_progress platform platform_process)
