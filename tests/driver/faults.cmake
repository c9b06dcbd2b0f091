# Batch jobs with the real encoder under faults: cancelling at each stage, storage that
# refuses or runs out, sources that change while they are converted.
tembrel_add_test(driver_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/faults_cancel.cpp
          ${CMAKE_CURRENT_LIST_DIR}/faults_storage.cpp
  LIBS driver twinvq_encoder
  TIMEOUT 300)
