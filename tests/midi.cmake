# The note rules alone, on a clock the test sets.
quorvel_test(midi_note_rules_tests
  SOURCES app/midi/NoteRulesTest.cpp
  LIBS quorvel_app
  LABELS unit)

# MIDI output: plucks, keys and the quit path heard by an RtMidi input on a JACK server with the
# dummy backend that the tests start themselves (Debian's jackd2). Also under ThreadSanitizer.
# One case at a time: JACK 2 names a client's socket in /dev/shm after the client alone, not its
# server, so two cases' "Quorvel" clients on servers of their own take each other's socket (a case
# died of SIGSEGV at start while another ran beside it).
quorvel_test(midi_tests
  SOURCES app/midi/MidiOutTest.cpp app/midi/TsanSuppressions.cpp
  LIBS quorvel_app quorvel_test_support
  LABELS concurrency
  LOCK jack-clients)
# Runs a test's JACK server and ends it when the test ends, however it ends.
add_executable(jack_test_server app/midi/jack_test_server.cpp)
target_link_libraries(jack_test_server PRIVATE PkgConfig::MIDI)
target_compile_options(jack_test_server PRIVATE ${QUORVEL_WARNINGS})
add_dependencies(midi_tests jack_test_server)
# Beside the test program.
target_compile_definitions(midi_tests PRIVATE QUORVEL_JACK_TEST_SERVER="jack_test_server")

# The whole program under Xvfb and PulseAudio with a JACK dummy server, heard by midi_listen (an
# RtMidi input on the port "Quorvel"); uses the whole-program harness in tests/e2e.
add_executable(midi_listen app/midi/midi_listen.cpp)
target_link_libraries(midi_listen PRIVATE PkgConfig::MIDI Threads::Threads)
target_include_directories(midi_listen PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(midi_listen PRIVATE ${QUORVEL_WARNINGS})

find_program(QUORVEL_MIDI_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QUORVEL_MIDI_PYTHON)
  find_program(QUORVEL_MIDI_PYTHON NAMES python3)
endif()
add_test(NAME e2e_midi COMMAND ${QUORVEL_MIDI_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/e2e/test_midi.py)
set_tests_properties(e2e_midi PROPERTIES
  LABELS e2e
  RESOURCE_LOCK jack-clients
  COST 50
  SKIP_RETURN_CODE 77
  TIMEOUT 300
  ENVIRONMENT "QUORVEL_BINARY=$<TARGET_FILE:quorvel>;QUORVEL_JACK_TEST_SERVER=$<TARGET_FILE:jack_test_server>;QUORVEL_MIDI_LISTEN=$<TARGET_FILE:midi_listen>;QUORVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVEL_E2E_ARTIFACTS=${CMAKE_BINARY_DIR}/e2e-artifacts/e2e_midi;PYTHONDONTWRITEBYTECODE=1;PYTHONUNBUFFERED=1")
