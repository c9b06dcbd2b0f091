tembrel_add_test(encoder_driver_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_driver_unit_test.cpp
  LIBS twinvq_encoder)
tembrel_add_test(encoder_driver_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_driver_test.cpp
  LIBS twinvq_encoder driver tvqdec
  TIMEOUT 300)
# Resampled sources against the benchmark's meter, which sanitizer builds leave out.
if(NOT TEMBREL_SANITIZE)
  tembrel_add_test(resampled_round_trip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/resampled_round_trip_test.cpp
    LIBS twinvq_encoder driver vqf_decode tvqdec nmr_meter bench_support
    TIMEOUT 300)
endif()
