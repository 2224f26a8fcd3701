// The whole-program tests' ear on the instrument's MIDI port: an RtMidi input on the JACK server
// named by JACK_DEFAULT_SERVER, connected to SOURCE (default "Quorvel:Quorvel").
//
//   midi_listen [SOURCE]
//
// Waits up to 30 s for the port, prints "connected", then one line per message,
// "on NOTE VELOCITY CHANNEL" or "off NOTE VELOCITY CHANNEL", until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "MidiTestSupport.h"

namespace {

// True if SIGTERM or SIGINT arrived within `milliseconds`.
bool stopRequested(const sigset_t& stopSignals, long milliseconds)
{
    const timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    return sigtimedwait(&stopSignals, nullptr, &wait) > 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string source = argc > 1 ? argv[1] : "Quorvel:Quorvel";

    // Taken by sigtimedwait below; blocked before RtMidi and JACK start threads of their own.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    miditest::jackServerAnswers(); // quiets libjack's own messages
    std::unique_ptr<miditest::MidiListener> listener;
    for (int attempt = 0; attempt < 300; ++attempt) {
        listener = std::make_unique<miditest::MidiListener>(source);
        if (listener->Connected())
            break;
        listener.reset();
        if (stopRequested(stopSignals, 100))
            return 0;
    }
    if (!listener) {
        std::fprintf(stderr, "midi_listen: no JACK port %s\n", source.c_str());
        return 1;
    }
    std::printf("connected\n");
    std::fflush(stdout);

    std::size_t printed = 0;
    for (;;) {
        const bool stopping = stopRequested(stopSignals, 10);
        const auto messages = listener->Messages();
        for (; printed < messages.size(); ++printed) {
            const miditest::Message& m = messages[printed];
            std::printf("%s %d %d %d\n",
                        m.IsNoteOn()    ? "on"
                        : m.IsNoteOff() ? "off"
                                        : "other",
                        m.note, m.velocity, m.Channel());
        }
        std::fflush(stdout);
        if (stopping)
            return 0;
    }
}
