#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "app/instrument/InstrumentOutput.h"
#include "app/midi/NoteRules.h"

class MidiPort;

// Every pluck also goes out as MIDI on the port "Quorvel" (MidiPort), by the rules of NoteRules.
//
// Threads: the tracking thread (plucks) and the window thread (string removal) only put a small
// command into a bounded queue under a short lock of its own; the MIDI thread owns the port and
// the rules, sends (RtMidi may wait on the MIDI system), and ends notes when their time is up. It
// never takes GLStuff::gLock or the audio server's lock. Until Start and after Stop every call
// does nothing.
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

    void Post(const Command& command);
    void Run();
    void Apply(NoteRules& rules, const Command& command, Clock::time_point now);
    void Send(const std::array<std::uint8_t, 3>& message);

    // Start and Stop, one at a time.
    std::mutex fLifecycleLock;
    std::thread fThread;
    std::unique_ptr<MidiPort> fPort; // used by the MIDI thread while it runs
    std::ostream* fReport = nullptr;

    // The queue: written by any thread, read by the MIDI thread, all under fQueueLock.
    mutable std::mutex fQueueLock;
    std::condition_variable fWake;
    std::array<Command, kQueueCapacity> fQueue{};
    int fQueueHead = 0;
    int fQueueCount = 0;
    bool fAccepting = false; // between Start and Stop
    bool fStopping = false;
    int fDropped = 0; // commands refused because the queue was full

    // MIDI thread only.
    bool fSendFailed = false;
    bool fDropReported = false;
};
