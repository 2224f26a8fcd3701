# The playable instrument: key table, scene arithmetic, the driver's callback path and the quit path.
quorvel_test(app_tests
  SOURCES app/KeysTest.cpp app/SceneTest.cpp app/ConsoleLineTest.cpp
  LIBS quorvel_app
  LABELS unit)

# The command line and the choice of a sound device; the help is checked against the sources.
quorvel_test(app_options_tests
  SOURCES app/OptionsTest.cpp
  LIBS quorvel_app
  LABELS unit)
target_compile_definitions(app_options_tests PRIVATE QUORVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

quorvel_test(app_driver_tests
  SOURCES app/DriverCallbackTest.cpp
  LIBS quorvel_audio
  LABELS unit)

quorvel_test(app_shutdown_tests
  SOURCES app/ShutdownTest.cpp
  LIBS quorvel_app
  LABELS concurrency)
