# The encoder driver: one source file in, one VQF file out.
add_library(twinvq_encoder STATIC ${CMAKE_CURRENT_LIST_DIR}/encoder_driver.cpp)
target_link_libraries(twinvq_encoder PUBLIC
  job_progress sources tags vqfheader twinvq_stream tvqenc platform platform_text tvq_records)
