#pragma once

#include <functional>
#include <ostream>
#include <string>

// What the command line and the environment ask of the program before anything starts: its help,
// the list of sound devices, or playing on a chosen sound system and device. Read before the
// window system, so that all of it works with no display.
class Options {
public:
    enum class Action { Play, Help, Version, ListDevices, Refuse };

    // Reads an environment variable; null when it is not set.
    using Lookup = std::function<const char*(const char*)>;

    // Takes the program's own options out of argv (argc follows), leaving the window system's
    // (-display, -geometry, ...) in place for it. An option wins over its environment variable.
    static Options Parse(int& argc, char** argv, const Lookup& lookup);

    // Every option and environment variable of the program.
    static std::string HelpText();

    // "quorvel VERSION", the project's version.
    static std::string VersionText();

    // Answers help, the version, the device list or a refusal on `out` and `err`; returns the exit
    // status.
    int Answer(std::ostream& out, std::ostream& err) const;

    Action action = Action::Play;
    std::string audioSystem; // "jack", "pulse", "alsa"; empty: the first that has devices
    std::string audioDevice; // a number or a name; empty: the system's default output
    std::string error;       // why, for Refuse

    // What the strings play: key -1 and an empty scaleFile leave the defaults (G#1, pentatonic).
    int key = -1;          // note of string 0, 0..127 (69 = 440 Hz)
    std::string scaleFile; // a Scala .scl file
    bool touch = false;    // velocity follows the sweep's speed

    std::string osc; // HOST:PORT to send plucks and fingertips to over OSC; empty: none
};
