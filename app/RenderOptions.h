#pragma once

#include <memory>
#include <string>

#include "app/instrument/Tuning.h"

// What a render is asked for, and the limits the command line judges it against. Kept apart from
// the renderer, so that reading the options links no sound file library.
struct RenderOptions {
    static constexpr int kMinRate = 8000;
    static constexpr int kMaxRate = 192000;
    static constexpr double kMaxTailSeconds = 600.0;
    static constexpr double kMaxPauseSeconds = 86400.0;

    std::string performance; // the recording, one JSON message a line
    std::string output;      // the WAV file to write
    int strings = 0;         // 1..30 for the whole render; 0 leaves it to the recording
    std::string scale;       // for the whole render; empty leaves it to the recording
    std::shared_ptr<const Tuning> tuning; // with scale "scala": a Scala tuning
    int key = -1;               // note of string 0 (0..127); -1 leaves it to the recording
    bool touch = false;         // velocity from the sweep for the whole render; false leaves it to
                                // the recording
    std::string voice;          // "classic" or "concert" for the whole render; empty leaves it to
                                // the recording
    float room = 0.0f;          // the room's amount, 0 (dry) to 1, for the whole render
    int rate = 44100;           // sample rate in Hz, kMinRate..kMaxRate
    double tailSeconds = 3.0;   // decay rendered after the last line, seconds, 0..kMaxTail
    bool floatSamples = false;  // 32-bit float samples instead of 16-bit integers
    double pauseSeconds = 60.0; // pauses rendered in all, seconds, 0..kMaxPauseSeconds
};
