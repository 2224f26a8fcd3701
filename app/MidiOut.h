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

#include "Harp.h"

class MidiPort;

// Every pluck also goes out as MIDI on channel 1, on the port "Quorvel" (MidiPort): a note-on
// with the pluck's note number and velocity, and the note-off of that note when its string is
// plucked again, removed, left 3 seconds without a pluck (the string has died away by then), or
// when the instrument quits. One MIDI note number sounds at most once: a pluck of a note that
// another string still holds ends that string's note first, so note-ons and note-offs pair up.
//
// Threads: the tracking thread (plucks) and the window thread (string removal) only put a small
// command into a bounded queue under a short lock of its own; the MIDI thread owns the port and
// the table of sounding notes, sends (RtMidi may wait on the MIDI system), and runs the 3-second
// timer. It never takes GLStuff::gLock or the audio server's lock. Until Start and after Stop
// every call does nothing.
class MidiOut {
public:
    static constexpr int kChannel = 1;         // MIDI channel 1..16
    static constexpr int kQueueCapacity = 256; // commands waiting for the MIDI thread
    static constexpr std::chrono::milliseconds kNoteLength{3000}; // a pluck's note-off at latest

    // Created on first use, never destroyed.
    static MidiOut* GetInstance();

    // Window thread, at start-up: opens the port on the system `choice` names (QUORVEL_MIDI's
    // value, null when unset) and starts the MIDI thread. Writes one line to `report`: where
    // the port is, or why MIDI is off (nothing when `choice` is "off"). True if the port is open.
    bool Start(const char* choice, std::ostream& report);

    // Ends every sounding note, stops the MIDI thread and closes the port. Commands queued
    // before the call are still sent. Safe to call more than once, and without Start.
    void Stop();

    bool IsRunning() const;

    // Tracking thread, right after `stringIndex` (0..Harp::kMaxStrings-1) got its burst. note
    // 0..127 (69 = 440 Hz), velocity 1..127. Never waits for the MIDI system.
    void Plucked(int stringIndex, int note, int velocity);

    // Window thread, after a string was removed: strings numStrings and up end their notes.
    void StringsRemain(int numStrings);

private:
    using Clock = std::chrono::steady_clock;

    struct Command {
        enum Kind : std::uint8_t { kPluck, kStringsRemain };
        Kind kind;
        std::uint8_t note;
        std::uint8_t velocity;
        int value; // the plucked string, or the number of strings that remain
    };

    // The note a string sounds, if any; MIDI thread only.
    struct Sounding {
        int note = -1;
        Clock::time_point ends;
    };

    MidiOut() = default;

    void Post(const Command& command);
    void Run();
    void Apply(const Command& command, Clock::time_point now);
    void Pluck(int stringIndex, int note, int velocity, Clock::time_point now);
    void EndNote(int stringIndex);
    bool EarliestEnd(Clock::time_point& when) const;
    void Send(std::uint8_t status, int note, int velocity);

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
    std::array<Sounding, Harp::kMaxStrings> fSounding{};
    bool fSendFailed = false;
    bool fDropReported = false;
};
