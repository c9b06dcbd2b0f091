# The benchmark's meter and helpers; the bench folder is left out of sanitizer builds.
if(NOT TEMBREL_SANITIZE)
  tembrel_add_test(bench_meter_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/nmr_meter_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bench_support_test.cpp
    LIBS nmr_meter bench_support
    TIMEOUT 120)

  tembrel_add_test(bench_options_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_options_test.cpp
    LIBS bench_options)

  # The round trip through the codec libraries, once they exist.
  if(TARGET tvqenc AND TARGET tvqdec)
    tembrel_add_test(bench_round_trip_test
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/tvq_round_trip_test.cpp
      LIBS bench_codec nmr_meter
      TIMEOUT 120)
  endif()
endif()
