# The playable instrument: key table, scene arithmetic, the driver's callback path and the quit path.
quorvel_test(app_tests
  SOURCES app/KeysTest.cpp app/SceneTest.cpp app/ConsoleLineTest.cpp
  LIBS quorvel_app
  LABELS unit)

quorvel_test(app_driver_tests
  SOURCES app/DriverCallbackTest.cpp
  LIBS quorvel_audio
  LABELS unit)

quorvel_test(app_shutdown_tests
  SOURCES app/ShutdownTest.cpp app/ConsoleWriterTest.cpp
  LIBS quorvel_app
  LABELS concurrency)
