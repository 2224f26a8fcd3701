# The tracking library's frame parser.
quorvel_test(tracking_parser_tests
  SOURCES tracking/FrameParserTest.cpp
  LIBS quorvel_tracking
  LABELS unit)

# The controller's thread, its sources and their queue (also under ThreadSanitizer).
quorvel_test(tracking_controller_tests
  SOURCES tracking/ControllerTest.cpp tracking/ReplaySourceTest.cpp tracking/FrameQueueTest.cpp
  LIBS quorvel_tracking
  LABELS concurrency)

# The listener and the pluck detector, driven by hand and by a recording, into the real harp.
quorvel_test(tracking_listener_tests
  SOURCES tracking/ListenerTest.cpp tracking/PluckTest.cpp
  LIBS quorvel_app
  LABELS unit)

# A recorded two-finger glissando through the whole chain, rendered offline; a fresh harp.
quorvel_test(tracking_glissando_test
  SOURCES tracking/GlissandoTest.cpp
  LIBS quorvel_app
  LABELS unit)

# The three threads of the instrument against each other (also under ThreadSanitizer).
quorvel_test(tracking_concurrency_test
  SOURCES tracking/ConcurrencyTest.cpp
  LIBS quorvel_app
  LABELS concurrency)
