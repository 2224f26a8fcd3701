#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

// The rules that turn plucks into MIDI notes on channel 1: a pluck sends a note-on with its note
// number and velocity; its string's note ends (note-off, release velocity 64) when the string is
// plucked again, removed, left kNoteLength without a pluck (it has died away by then), or when
// the instrument quits. One note number sounds at most once: a pluck of a note that another
// string still holds ends that string's note first, so note-ons and note-offs pair up.
//
// A plain class with no thread and no clock of its own: the caller says what time it is, so the
// rules run as fast in a test as the caller likes. One thread at a time.
class NoteRules {
public:
    using Clock = std::chrono::steady_clock;
    // Takes one 3-byte MIDI message.
    using Send = std::function<void(const std::array<std::uint8_t, 3>& message)>;

    static constexpr int kStrings = 30;         // string indices 0..kStrings-1
    static constexpr int kChannel = 1;          // MIDI channel 1..16
    static constexpr int kReleaseVelocity = 64; // what a keyboard without release velocity sends
    static constexpr std::chrono::milliseconds kNoteLength{3000}; // a pluck's note-off at latest

    explicit NoteRules(Send send);

    // String `stringIndex` (0..kStrings-1) plucked at `now`: note 0..127 (69 = 440 Hz), velocity
    // 1..127. Anything else is ignored.
    void Pluck(int stringIndex, int note, int velocity, Clock::time_point now);
    // Strings numStrings and up were removed: their notes end.
    void StringsRemain(int numStrings);
    // Ends every note whose time is up at `now`.
    void EndExpired(Clock::time_point now);
    // Ends every sounding note.
    void EndAll();
    // When the next note ends by itself; false when none sounds.
    bool NextEnd(Clock::time_point& when) const;

private:
    struct Sounding {
        int note = -1; // none
        Clock::time_point ends;
    };

    void EndNote(int stringIndex);
    void Emit(std::uint8_t status, int note, int velocity);

    Send fSend;
    std::array<Sounding, kStrings> fSounding{};
};
