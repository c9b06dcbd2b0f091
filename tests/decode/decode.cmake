# The decode into WAV, the WAV writer and the header description.
tembrel_add_test(vqf_decode_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vqf_decode_test.cpp
  LIBS vqf_decode sources tags vqf_test_file
  TIMEOUT 120)
