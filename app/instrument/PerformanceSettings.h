#pragma once

#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "app/instrument/Tuning.h"

// The settings that shape what a performance sounds like: the number of strings, the scale, the
// key, touch and the strings' voice. A recording carries them beside the tracking frames, one line
// at the start and one at every change, stamped there with the frames' clock:
//   {"instrument":{"strings":10,"scale":"diatonic","key":32},"timestamp":5000000}
// A Scala tuning travels whole in the line, as "scale":"scala" and
//   "tuning":{"description":"...","cents":[...]}, so a replay never depends on the file.
// Applying them takes the instrument's own actions, as the keys do, so the picture, the sound
// and MIDI out all follow.
class PerformanceSettings {
public:
    int strings = 0;   // 1..Harp::kMaxStrings; 0 leaves the strings as they are
    std::string scale; // "pentatonic-major", "pentatonic-minor", "diatonic", "whole-tone"; empty
                       // leaves the scale as it is; "scala" plays `tuning`
    int key = -1;      // note of string 0, 0..127; -1 leaves the key as it is
    std::shared_ptr<const Tuning> tuning; // with scale "scala"
    int touch = -1;    // 1: velocity follows the sweep; 0: every pluck 127; -1 leaves it as it is
    std::string voice; // "classic" or "concert"; empty leaves it as it is

    // The harp's settings now. Any thread.
    static PerformanceSettings Current();

    // A settings line in `line`: true and `settings` filled. False with `error` empty when the
    // line is no settings line at all, with `error` saying what is wrong when it is a bad one.
    static bool Parse(const std::string& line, PerformanceSettings& settings, std::string& error);
    // The same for a line the tracking has parsed already (Leap::ParsedMessage::object,
    // Leap::Controller::message()), so it is not parsed twice.
    static bool Read(const nlohmann::json& message, PerformanceSettings& settings,
                     std::string& error);
    // Checks a scale name as Parse does; the reason it is refused, or empty.
    static std::string ScaleError(const std::string& name);
    // The table and note count of a built-in scale's name; false for any other name.
    static bool BuiltInScale(const std::string& name, const int*& table, int& count);
    // "scala" with a tuning: the tuning plays.
    bool PlaysTuning() const;
    // A scale named by a Scala file (FILE.scl), read before it plays, rather than a built-in one.
    static bool IsScalaFile(const std::string& name);
    // True when these settings change anything at all.
    bool ChangeAnything() const;
    // These settings less what `held` fixes: a program's own settings (its command line) hold
    // against a recording's lines.
    PerformanceSettings Unless(const PerformanceSettings& held) const;

    // The line for these settings, without a timestamp (the recording adds it).
    std::string Line() const;

    // A recording's settings line: turns the instrument to these settings, less what the program
    // holds (GLStuff::HoldSettings), as one change (GLStuff::ApplySettings), recorded once. A key
    // or tuning that would put a string out of range is refused with one line on `errors`; false
    // when something was refused. Window thread, or the only thread of a program without a
    // window.
    bool Apply(std::ostream& errors) const;
};
