# The VQF source: decodes a VQF file back into 16-bit PCM through the decoder library.
# AudioSource is a header, so this target needs no link back to `sources`.
add_library(vqf_source STATIC ${CMAKE_CURRENT_LIST_DIR}/vqf_source.cpp)
target_link_libraries(vqf_source PUBLIC platform_headers vqfheader twinvq_stream tvqdec)
