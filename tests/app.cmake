# The instrument (app/): key table, scene arithmetic and the quit path; the listener and the pluck
# detector driven by hand into the real harp; the harp offline and under three threads.
quorvel_test(app_tests
  SOURCES app/window/KeysTest.cpp app/window/SceneTest.cpp app/ErrorLinesTest.cpp
  LIBS quorvel_app
  LABELS unit)

# The command line and the choice of a sound device; the help is checked against the sources.
quorvel_test(app_options_tests
  SOURCES app/OptionsTest.cpp
  LIBS quorvel_app
  LABELS unit)
target_compile_definitions(app_options_tests PRIVATE QUORVEL_SOURCE_DIR="${QUORVEL_SOURCE_FROM_TESTS}")

quorvel_test(app_shutdown_tests
  SOURCES app/ShutdownTest.cpp app/ConsoleWriterTest.cpp
  LIBS quorvel_app
  LABELS concurrency)

# The listener and the pluck detector, driven by hand and by a recording, into the real harp.
quorvel_test(app_listener_tests
  SOURCES app/instrument/ListenerTest.cpp app/instrument/PluckTest.cpp app/window/CameraPictureTest.cpp
  LIBS quorvel_app quorvel_test_support
  LABELS unit)

# The instrument alone, linked with nothing but its own library: an example played through it.
quorvel_test(app_instrument_alone_test
  SOURCES app/instrument/InstrumentAloneTest.cpp
  LIBS quorvel_instrument
  LABELS unit)
target_compile_definitions(app_instrument_alone_test PRIVATE
  QUORVEL_SOURCE_DIR="${QUORVEL_SOURCE_FROM_TESTS}")

# The three threads of the instrument against each other (also under ThreadSanitizer).
quorvel_test(app_concurrency_test
  SOURCES app/instrument/ConcurrencyTest.cpp
  LIBS quorvel_app quorvel_test_support
  LABELS concurrency)

# The harp is built from its own source so these tests need only the audio library.
quorvel_test(harp_test
  SOURCES app/instrument/HarpTest.cpp ${Quorvel_SOURCE_DIR}/app/instrument/Harp.cpp ${Quorvel_SOURCE_DIR}/app/instrument/HarpVoices.cpp
  LIBS quorvel_audio
  LABELS unit)
target_include_directories(harp_test PRIVATE ${Quorvel_SOURCE_DIR})
quorvel_test(harp_concurrency_test
  SOURCES app/instrument/HarpConcurrencyTest.cpp ${Quorvel_SOURCE_DIR}/app/instrument/Harp.cpp ${Quorvel_SOURCE_DIR}/app/instrument/HarpVoices.cpp
  LIBS quorvel_audio
  LABELS concurrency)
target_include_directories(harp_concurrency_test PRIVATE ${Quorvel_SOURCE_DIR})
