#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

class RtMidiOut;

// The instrument's MIDI output: a virtual port named "Quorvel" that synthesizers and recording
// software connect to, on a JACK server or on the ALSA sequencer. Each system is probed quietly
// before RtMidi is asked for it, so a machine without one gets a single line of explanation
// instead of the libraries' own messages on standard error.
class MidiPort {
public:
    enum class System { kJack, kAlsa };

    static constexpr const char* kPortName = "Quorvel";

    // Opens the port on the system `choice` names (QUORVEL_MIDI, as the option table judged it):
    // null, "" or "auto" (JACK if a server runs, else ALSA), "jack", "alsa" or "off". Returns null
    // when no port was opened; `whyNot` then says why, or stays empty when MIDI was turned off.
    // `jackServer` names the server auto looks for (see JackPresence.h).
    static std::unique_ptr<MidiPort> Open(const char* choice, const std::string& jackServer,
                                          std::string& whyNot);

    ~MidiPort();
    MidiPort(const MidiPort&) = delete;
    MidiPort& operator=(const MidiPort&) = delete;

    // Sends one message of `length` bytes. May wait for the MIDI system (JACK takes messages in
    // its next process cycle), so it belongs on a thread of its own. Returns false, with
    // LastError() set, if the system refused it.
    bool Send(const unsigned char* message, std::size_t length);

    System GetSystem() const { return fSystem; }
    // "JACK" or "ALSA".
    const char* SystemName() const;
    const std::string& LastError() const { return fLastError; }

private:
    explicit MidiPort(System system);

    // Opens the virtual port; false, with fLastError set, if RtMidi refused.
    bool OpenVirtual();

    System fSystem;
    std::chrono::microseconds fJackCycle{0}; // the JACK server's process cycle
    std::unique_ptr<RtMidiOut> fOut;
    // Written by RtMidi's error callback, on the thread that called into the port.
    std::string fLastError;
    bool fFailed = false;
};
