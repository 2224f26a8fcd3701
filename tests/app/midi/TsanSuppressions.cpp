// ThreadSanitizer cannot see the ordering in JACK's lock-free ring buffer (libjack is not
// instrumented; only its copies in and out are seen), through which RtMidi hands messages from
// the MIDI thread to JACK's process thread. Read by the sanitizer's runtime at start-up.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jack_ringbuffer_\n";
}
