#pragma once

#include <cmath>
#include <ostream>

#include "src/ConsoleLine.h"

// A note's pitch as the voices tune it, and the line a note-on prints ("note: 60 freq:
// 261.626"): for the voices, and for a harp that prints its lines where its plucks are made
// rather than where they sound (the web page's, whose strings sound on the audio thread).

// Frequency in Hz of `pitch` in notes (69 = 440 Hz).
inline float NoteFrequency(float pitch)
{
    return 8.1757994f * powf(2.0f, pitch / 12.0f);
}

// The note nearest `pitch`; 0 for a pitch that is not a number.
inline int NearestNote(float pitch)
{
    return std::isfinite(pitch) ? static_cast<int>(std::lround(pitch)) : 0;
}

// Allocates and writes: never on the audio thread.
inline void WriteNoteLine(std::ostream& out, int note, float frequency)
{
    WriteLine(out, "note: ", note, " freq: ", frequency);
}
