#include "app/Options.h"

#include <cerrno>
#include <cstdlib>

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/PerformanceSettings.h"
#include "app/instrument/Tuning.h"

namespace {

using Setting = OptionTable::Setting;

// Status for a command line or setting the program refuses.
constexpr int kUsageStatus = 2;

// A number from `low` to `high` written in full, whole when `whole`.
bool ReadNumber(const std::string& text, double low, double high, bool whole, double& out)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !(value >= low && value <= high) ||
        (whole && value != static_cast<int>(value)))
        return false;
    out = value;
    return true;
}

} // namespace

bool Options::OneOf(const std::string& value, std::initializer_list<const char*> accepted)
{
    for (const char* word : accepted) {
        if (value == word)
            return true;
    }
    return false;
}

bool Options::JudgeShared(Setting setting, const std::string& value, Options& into,
                          std::string& accepted, std::string& why)
{
    PerformanceSettings& settings = into.settings;
    RenderOptions& render = into.render;
    double number = 0.0;
    switch (setting) {
    case Setting::kHelp:
    case Setting::kVersion:
        return true;
    case Setting::kKey:
        accepted = "a note name (D, F#3, Bb2) or a MIDI note 0..127";
        return ParseNoteName(value, settings.key);
    case Setting::kTouch:
        accepted = "1 (on) or 0 (off)";
        settings.touch = value == "1" ? 1 : 0;
        return OneOf(value, {"1", "0"});
    case Setting::kVoice: {
        accepted = "classic or concert";
        settings.voice = value;
        Harp::VoiceKind voice;
        return Harp::VoiceNamed(value, voice);
    }
    case Setting::kRoom:
        accepted = "an amount from 0 (no room) to 1";
        if (!ReadNumber(value, 0.0, 1.0, false, number))
            return false;
        into.room = static_cast<float>(number);
        return true;
    case Setting::kScale:
        // A file is read once the program knows it will play (SetUpTuning).
        accepted = "pentatonic-major, pentatonic-minor, diatonic, whole-tone or a Scala tuning "
                   "FILE.scl";
        settings.scale = value;
        return PerformanceSettings::IsScalaFile(value) ||
               PerformanceSettings::ScaleError(value).empty();
    case Setting::kStrings:
        accepted = "a whole number from 1 to 30";
        settings.strings = ReadNumber(value, Harp::kMinStrings, Harp::kMaxStrings, true, number)
                               ? static_cast<int>(number)
                               : 0;
        return settings.strings != 0;
    case Setting::kRate:
        accepted = "a whole number of Hz from 8000 to 192000";
        if (!ReadNumber(value, RenderOptions::kMinRate, RenderOptions::kMaxRate, true, number))
            return false;
        render.rate = static_cast<int>(number);
        return true;
    case Setting::kTail:
        accepted = "seconds from 0 to 600";
        if (!ReadNumber(value, 0.0, RenderOptions::kMaxTailSeconds, false, number))
            return false;
        render.tailSeconds = number;
        return true;
    case Setting::kPauses:
        accepted = "seconds from 0 to 86400";
        if (!ReadNumber(value, 0.0, RenderOptions::kMaxPauseSeconds, false, number))
            return false;
        render.pauseSeconds = number;
        return true;
    case Setting::kFloat:
        render.floatSamples = true;
        return true;
    default:
        // The player's own, judged by the player (OptionsPlayer.cpp).
        (void)why;
        return false;
    }
}

Options Options::ParseRenderer(int& argc, char** argv, const OptionTable::Lookup& lookup)
{
    return Parse(argc, argv, lookup, OptionTable::kRenderer, JudgeShared);
}

Options Options::Parse(int& argc, char** argv, const OptionTable::Lookup& lookup,
                       OptionTable::Program program, Judge judge)
{
    Options options;
    options.program = program;
    const OptionTable::Reading reading = OptionTable::Read(program, argc, argv, lookup);
    options.error = reading.error;
    for (const auto& [setting, value] : reading.values) {
        std::string accepted, why;
        if (!judge(setting, value.text, options, accepted, why) && options.error.empty())
            options.error = value.from + " takes " + accepted + ", not \"" +
                            value.text.substr(0, 40) + "\"" + (why.empty() ? "" : ": " + why);
    }
    std::vector<char*> rest = reading.rest;
    if (program == OptionTable::kRenderer && options.error.empty()) {
        if (rest.size() < 3)
            options.error = "needs a performance and an output file";
        else if (rest.size() > 3)
            options.error = "one performance and one output file, not more";
        else {
            options.render.performance = rest[1];
            options.render.output = rest[2];
        }
    }

    // Help and the version answer whatever else the line says; a mistake is refused before
    // anything starts.
    if (reading.help)
        options.action = Action::Help;
    else if (reading.version)
        options.action = Action::Version;
    else if (!options.error.empty())
        options.action = Action::Refuse;
    else if (reading.values.count(Setting::kListDevices))
        options.action = Action::ListDevices;

    argc = static_cast<int>(rest.size());
    for (std::size_t index = 0; index < rest.size(); ++index) {
        argv[index] = rest[index];
    }
    argv[argc] = nullptr;
    return options;
}

int Options::Answer(std::ostream& out, std::ostream& err) const
{
    switch (action) {
    case Action::Help:
        out << OptionTable::HelpText(program) << std::flush;
        return 0;
    case Action::Version:
        out << OptionTable::VersionText(program) << "\n" << std::flush;
        return 0;
    case Action::ListDevices: // AnswerPlayer lists them
        return 0;
    case Action::Refuse:
        err << OptionTable::Name(program) << ": " << error << "\n" << std::flush;
        return kUsageStatus;
    case Action::Play:
        break;
    }
    return 0;
}

bool Options::SetUpTuning(std::ostream& err)
{
    const char* name = OptionTable::Name(program);
    const bool player = program == OptionTable::kPlayer;
    const std::string file = settings.scale;
    std::string refused;
    if (PerformanceSettings::IsScalaFile(file)) {
        auto loaded = std::make_shared<Tuning>();
        settings.scale.clear();
        if (LoadScala(file, *loaded, refused)) {
            settings.scale = "scala";
            settings.tuning = std::move(loaded);
        } else if (!player) {
            err << name << ": " << refused << "\n" << std::flush;
            return false;
        } else
            err << name << ": " << refused << "; playing the built-in scale\n" << std::flush;
    }
    if (!player)
        return true;

    // The player starts with them through the instrument's actions, as a key would change them.
    auto chooseScale = [this](std::string& why) {
        if (settings.PlaysTuning())
            return GLStuff::ChooseTuning(settings.tuning, why);
        const int* table = nullptr;
        int count = 0;
        if (PerformanceSettings::BuiltInScale(settings.scale, table, count))
            return GLStuff::ChooseScale(table, count, why);
        return true;
    };
    if (!chooseScale(refused)) {
        // It may fit only the key asked for: judged again once the key is set.
        if (settings.key < 0 || !GLStuff::ChooseKey(settings.key, refused) ||
            !chooseScale(refused)) {
            err << name << ": " << file << ": " << refused << "; playing the built-in scale\n"
                << std::flush;
            settings.scale.clear();
            settings.tuning.reset();
        }
    }
    if (settings.key >= 0 && !GLStuff::ChooseKey(settings.key, refused)) {
        err << name << ": --key " << NoteName(settings.key) << ": " << refused << "\n"
            << std::flush;
        return false;
    }
    if (settings.touch >= 0)
        GLStuff::ChooseTouch(settings.touch == 1);
    if (Harp::VoiceKind voice; Harp::VoiceNamed(settings.voice, voice))
        GLStuff::ChooseVoice(voice);
    GLStuff::HoldSettings(settings);
    return true;
}
