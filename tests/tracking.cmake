# The tracking library's frame parser.
quorvel_test(tracking_parser_tests
  SOURCES tracking/FrameParserTest.cpp
  LIBS quorvel_tracking quorvel_test_support
  LABELS unit)

# The controller's thread, its sources, their queue and the camera picture's hand-off (also under
# ThreadSanitizer).
quorvel_test(tracking_controller_tests
  SOURCES tracking/ControllerTest.cpp tracking/recording/ReplaySourceTest.cpp
    tracking/FrameQueueTest.cpp tracking/camera/CameraViewTest.cpp
  LIBS quorvel_tracking quorvel_test_support
  LABELS concurrency)

# Palm detection from the model's raw outputs to crops, and the word on the runtime chosen.
quorvel_test(tracking_model_tests
  SOURCES tracking/camera/PalmDetectorTest.cpp tracking/camera/inference/RuntimeNoteTest.cpp
  LIBS quorvel_tracking
  LABELS unit)
