# The bit file and the VQF frame writer and reader.
#
# twinvq_stream calls functions of the codec libraries (TvqEncUpdateVectorInfo on the
# writing side; TvqCheckVersion, TvqGetConfInfo, TvqGetVectorInfo,
# TvqGetNumFixedBitsPerFrame, TvqWtypeToBtype and TvqUpdateVectorInfo on the reading
# side) but deliberately does not link tvqenc or tvqdec. Programs that use it link the
# real libraries after it; its own tests link a test double of those functions
# (tests/twinvq/fake_tvq.cpp) whose configuration they choose, so that every branch of
# the frame layout is exercised.
add_library(twinvq_stream STATIC
  ${CMAKE_CURRENT_LIST_DIR}/bit_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_reader.cpp)
target_link_libraries(twinvq_stream PUBLIC vqfheader tvq_records platform_headers)
