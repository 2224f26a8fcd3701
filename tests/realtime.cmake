# The audio pass under the realtime sanitizer: only in a QUORVEL_RTSAN build (preset rtsan).
if(QUORVEL_RTSAN)
  set(QUORVEL_REALTIME_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/realtime)
  quorvel_test(realtime_test
    SOURCES ${QUORVEL_REALTIME_TESTS}/RealtimeSafetyTest.cpp
    LIBS quorvel_app
    LABELS realtime)
endif()
