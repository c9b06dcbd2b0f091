# Decoding VQF files into WAV files and describing VQF headers, over the VQF source; with
# the product's WAV writer.
add_library(vqf_decode STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wav_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vqf_description.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vqf_decode.cpp)
target_link_libraries(vqf_decode PUBLIC vqf_source platform platform_text)
