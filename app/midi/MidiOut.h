#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "app/instrument/InstrumentOutput.h"
#include "app/midi/NoteRules.h"
#include "src/Worker.h"

class MidiPort;

// Every pluck also goes out as MIDI on the port "Quorvel" (MidiPort), by the rules of NoteRules.
//
// Threads: the tracking thread (plucks) and the window thread (string removal) only push a small
// command to the MIDI thread's Worker; the MIDI thread owns the port and the rules, sends (RtMidi
// may wait on the MIDI system), and ends notes when their time is up. It never takes
// GLStuff::gLock or the audio server's lock. Until Start and after Stop every call does nothing.
class MidiOut : public InstrumentOutput {
public:
    static constexpr int kQueueCapacity = 256; // commands waiting for the MIDI thread

    // Created on first use, never destroyed.
    static MidiOut* GetInstance();

    // At start-up, before the first pluck: opens the port on the system `choice` names
    // (QUORVEL_MIDI's value, null when unset) and starts the MIDI thread. Writes one line to
    // `report`: where the port is, or why MIDI is off (nothing when `choice` is "off"). True if the
    // port is open. From here on the instrument's plucks reach it (GLStuff::AddOutput).
    // `jackServer`: the JACK server the program joins (see JackPresence.h).
    bool Start(const char* choice, const std::string& jackServer, std::ostream& report);

    // Ends every sounding note, stops the MIDI thread and closes the port. Commands queued
    // before the call are still sent. Safe to call more than once, and without Start.
    void Stop();

    bool IsRunning() const;

    // Tracking thread, right after `stringIndex` (0..NoteRules::kStrings-1) got its burst. note
    // 0..127 (69 = 440 Hz), velocity 1..127. Never waits for the MIDI system.
    void Plucked(int stringIndex, int note, int velocity) override;

    // Window thread, after a string was removed: strings numStrings and up end their notes.
    void StringsRemain(int numStrings) override;

private:
    using Clock = std::chrono::steady_clock;

    struct Command {
        enum Kind : std::uint8_t { kPluck, kStringsRemain };
        Kind kind;
        std::uint8_t note;
        std::uint8_t velocity;
        int value; // the plucked string, or the number of strings that remain
    };

    MidiOut() = default;

    // MIDI thread: the commands taken, then the notes whose time is up.
    void Take(const Command* commands, std::size_t count, bool last);
    void Send(const std::array<std::uint8_t, 3>& message);

    std::mutex fLifecycleLock; // Start and Stop, one at a time
    // The MIDI thread's while it runs: made by Start, gone after Stop.
    std::unique_ptr<MidiPort> fPort;
    std::unique_ptr<NoteRules> fRules;
    std::ostream* fReport = nullptr;
    bool fSendFailed = false;
    bool fDropReported = false;

    Worker<Command, kQueueCapacity> fWorker; // last: stopped before the above go
};
