# The audio framework (src/): graph and nodes, the string voice, the driver's callback path and
# the console line.
set(QUORVEL_AUDIO_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/src)
quorvel_test(audio_graph_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/AudioGraphTest.cpp
  LIBS quorvel_audio
  LABELS unit)
quorvel_test(voice_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/VoiceTest.cpp ${QUORVEL_AUDIO_TESTS}/ConcertStringTest.cpp
  LIBS quorvel_audio
  LABELS unit)
quorvel_test(audio_driver_tests
  SOURCES ${QUORVEL_AUDIO_TESTS}/device/DriverCallbackTest.cpp ${QUORVEL_AUDIO_TESTS}/ConsoleLineTest.cpp
  LIBS quorvel_audio
  LABELS unit)
quorvel_test(voice_concurrency_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/VoiceConcurrencyTest.cpp
  LIBS quorvel_audio
  LABELS concurrency)
quorvel_test(worker_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/WorkerTest.cpp
  LIBS quorvel_audio
  LABELS concurrency)
