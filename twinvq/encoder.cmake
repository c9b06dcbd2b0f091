# The encoder driver: one source file in, one VQF file out, with the feed that turns the
# source's samples into the encoder's frames.
add_library(twinvq_encoder STATIC
  ${CMAKE_CURRENT_LIST_DIR}/encoder_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sample_feed.cpp)
target_link_libraries(twinvq_encoder PUBLIC
  job_progress sources resampler tags vqfheader twinvq_stream tvqenc platform platform_text
  tvq_records)
