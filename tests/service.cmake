# The tracking service's live feed and the recording of any source, against fake services on
# loopback ports (websocketpp servers and raw TCP peers inside the tests).
quorvel_test(service_unit_tests
  SOURCES tracking/service/ServiceStatusTest.cpp tracking/SourceChoiceTest.cpp
  LIBS quorvel_tracking
  LABELS unit)

quorvel_test(service_tests
  SOURCES tracking/service/ServiceSourceTest.cpp tracking/recording/RecordingSourceTest.cpp
    tracking/service/FakeService.cpp
  LIBS quorvel_tracking quorvel_test_support websocketpp::websocketpp
  LABELS concurrency)
target_compile_definitions(service_tests PRIVATE ASIO_STANDALONE)

# The whole program playing from a fake service (python3-websockets). Declared once the
# whole-program helpers exist: e2e/e2e.cmake is read after this file.
cmake_language(DEFER CALL quorvel_e2e e2e_service test_service.py COST 17)
