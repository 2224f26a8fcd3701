# Faults met while playing, each survived by the whole program: the sound server killed and
# started again, the tracking service gone and back, a window left without redraws. Declared
# once the whole-program helpers exist: e2e/e2e.cmake is read after this file.
cmake_language(DEFER CALL quorvel_e2e faults_sound_server ../faults/test_sound_server.py COST 16)
cmake_language(DEFER CALL quorvel_e2e faults_tracking_service ../faults/test_tracking_service.py COST 12)
# The one long test: a minute with the window unmapped.
cmake_language(DEFER CALL quorvel_e2e faults_hidden_window ../faults/test_window_hidden.py COST 74)
# The chosen sound system and device: the list, a choice, JACK, plain ALSA through underruns.
cmake_language(DEFER CALL quorvel_e2e faults_sound_systems ../faults/test_sound_systems.py COST 32)
# Its JACK test uses the MIDI tests' server keeper, and so their lock.
cmake_language(DEFER CALL set_property TEST faults_sound_systems APPEND PROPERTY ENVIRONMENT
  "QUORVEL_JACK_TEST_SERVER=$<TARGET_FILE:jack_test_server>")
cmake_language(DEFER CALL set_property TEST faults_sound_systems PROPERTY RESOURCE_LOCK
  jack-clients)
