#pragma once

#include <string>

// What a render is asked for beyond what the strings play (Options::settings, which both programs
// share), and the limits the command line judges it against. Kept apart from the renderer, so
// that reading the options links no sound file library.
struct RenderOptions {
    static constexpr int kMinRate = 8000;
    static constexpr int kMaxRate = 192000;
    static constexpr double kMaxTailSeconds = 600.0;
    static constexpr double kMaxPauseSeconds = 86400.0;

    std::string performance;    // the recording, one JSON message a line
    std::string output;         // the WAV file to write
    int rate = 44100;           // sample rate in Hz, kMinRate..kMaxRate
    double tailSeconds = 3.0;   // decay rendered after the last line, seconds, 0..kMaxTail
    bool floatSamples = false;  // 32-bit float samples instead of 16-bit integers
    double pauseSeconds = 60.0; // pauses rendered in all, seconds, 0..kMaxPauseSeconds
};
