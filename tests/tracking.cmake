# The tracking library: frame parsing, the controller and its sources.
quorvel_test(tracking_tests
  SOURCES tracking/FrameParserTest.cpp tracking/ControllerTest.cpp tracking/ReplaySourceTest.cpp
  LIBS quorvel_tracking
  LABELS unit)
