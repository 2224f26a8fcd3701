#pragma once

#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>

#include "app/OptionTable.h"
#include "app/RenderOptions.h"
#include "app/instrument/PerformanceSettings.h"
#include "tracking/SourceSetting.h"

// What the command line and the environment ask of a program before anything starts: its help,
// the list of sound devices, or playing (rendering) with the settings given. Every value is
// judged here, so a mistake is refused before any window, sound or thread starts. Read before
// the window system, so that all of it works with no display.
class Options {
public:
    enum class Action { Play, Help, Version, ListDevices, Refuse };

    // Judges one value of `setting` and keeps it in `into`; false with what is accepted instead,
    // and maybe why this value is not.
    using Judge = bool (*)(OptionTable::Setting setting, const std::string& value, Options& into,
                           std::string& accepted, std::string& why);

    // Take the program's own options out of argv (argc follows), leaving the player's window
    // system its own (-display, -geometry, ...) and the renderer its two files. An option wins
    // over its environment variable. The player's settings are judged in a file of their own
    // (OptionsPlayer.cpp): their checks reach the sound system and the tracking sources, which
    // the renderer does not link.
    static Options ParsePlayer(int& argc, char** argv, const OptionTable::Lookup& lookup);
    static Options ParseRenderer(int& argc, char** argv, const OptionTable::Lookup& lookup);
    static Options Parse(int& argc, char** argv, const OptionTable::Lookup& lookup,
                         OptionTable::Program program, Judge judge);
    // Whether `value` is one of `accepted`.
    static bool OneOf(const std::string& value, std::initializer_list<const char*> accepted);
    // The settings both programs take.
    static bool JudgeShared(OptionTable::Setting setting, const std::string& value, Options& into,
                            std::string& accepted, std::string& why);

    // Answers help, the version or a refusal on `out` and `err`; returns the exit status.
    int Answer(std::ostream& out, std::ostream& err) const;
    // The same, and the device list.
    int AnswerPlayer(std::ostream& out, std::ostream& err) const;

    // Loads the Scala tuning --scale names into `settings` (scale "scala" and its tuning). The
    // player then starts the instrument with its settings through the instrument's actions: the
    // tuning, then --key, so the key is judged against the strings it will play, the touch and
    // the voice (the harp, built later at the sound device's rate, is built in it);
    // and holds them against a replay's settings lines (the renderer holds and applies them when
    // it starts). False after one line on `err` when the program must stop: a key no string range
    // allows, or a tuning the renderer cannot read; the player plays the built-in scale instead
    // of a tuning it cannot use.
    bool SetUpTuning(std::ostream& err);

    OptionTable::Program program = OptionTable::kPlayer;
    Action action = Action::Play;
    std::string error; // why, for Refuse: one line naming the setting, its value and what is
                       // accepted

    // The player's.
    std::string audioSystem; // "jack", "pulse", "alsa"; empty: the first that has devices
    std::string audioDevice; // a number or a name; empty: the system's default output
    // What the strings play, as both programs take it from the command line: the key (-1 and an
    // empty scale leave G#1, pentatonic), the scale (a built-in name, or a Scala FILE.scl until
    // SetUpTuning has read it), touch (-1 leaves it off), the voice (empty: classic) and, for the
    // renderer, the strings. Whatever is set here holds against a recording's settings lines.
    PerformanceSettings settings;
    float room = 0.0f; // the room's amount, 0 (none) to 1
    std::string osc;   // HOST:PORT to send plucks and fingertips to over OSC; empty: none
    std::string midi;  // "auto", "jack", "alsa" or "off"; empty: auto
    Leap::SourceSettings tracking;

    // The renderer's own. The performance is as given (an installed example is found by its short
    // name later).
    RenderOptions render;
};
