# The audio engine: graph and nodes, the string voice, the harp offline and under three threads.
set(QUORVEL_AUDIO_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/audio)
quorvel_test(audio_graph_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/AudioGraphTest.cpp
  LIBS quorvel_audio
  LABELS unit)
quorvel_test(voice_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/VoiceTest.cpp
  LIBS quorvel_audio
  LABELS unit)
# The harp is built from its own source so these tests need only the audio library.
quorvel_test(harp_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/HarpTest.cpp ${Quorvel_SOURCE_DIR}/app/Harp.cpp
  LIBS quorvel_audio
  LABELS unit)
target_include_directories(harp_test PRIVATE ${Quorvel_SOURCE_DIR}/app)
quorvel_test(harp_concurrency_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/HarpConcurrencyTest.cpp ${Quorvel_SOURCE_DIR}/app/Harp.cpp
  LIBS quorvel_audio
  LABELS concurrency)
target_include_directories(harp_concurrency_test PRIVATE ${Quorvel_SOURCE_DIR}/app)
quorvel_test(voice_concurrency_test
  SOURCES ${QUORVEL_AUDIO_TESTS}/VoiceConcurrencyTest.cpp
  LIBS quorvel_audio
  LABELS concurrency)
