# MIDI output: plucks, keys and the quit path heard by an RtMidi input on a JACK server with the
# dummy backend that the tests start themselves (Debian's jackd2). Also under ThreadSanitizer.
quorvel_test(midi_tests
  SOURCES midi/MidiOutTest.cpp
  LIBS quorvel_app
  LABELS concurrency)
