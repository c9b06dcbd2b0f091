tembrel_add_test(encoder_driver_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_driver_unit_test.cpp
  LIBS twinvq_encoder)
tembrel_add_test(encoder_driver_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_driver_test.cpp
  LIBS twinvq_encoder driver tvqdec
  TIMEOUT 300)
