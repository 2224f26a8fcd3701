#include "app/instrument/PerformanceSettings.h"

#include <nlohmann/json.hpp>

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/Pluck.h"

namespace {

struct NamedScale {
    const char* name;
    const int* table;
    int count;
};

const NamedScale kScales[] = {
    {"pentatonic-major", GLStuff::gPentatonicMajor, 5},
    {"pentatonic-minor", GLStuff::gPentatonicMinor, 5},
    {"diatonic", GLStuff::gDiatonic, 7},
    {"whole-tone", GLStuff::gWholeTone, 6},
};

const char kScalaName[] = "scala";

const NamedScale* FindScale(const std::string& name)
{
    for (const NamedScale& scale : kScales)
        if (name == scale.name)
            return &scale;
    return nullptr;
}

// The "tuning" of a line whose scale is "scala" into settings.tuning; the reason it is refused,
// or empty.
std::string ReadTuning(const nlohmann::json& instrument, PerformanceSettings& settings)
{
    const auto tuning = instrument.find("tuning");
    if (tuning == instrument.end() || !tuning->is_object())
        return "\"scale\" \"scala\" without a \"tuning\"";
    const auto cents = tuning->find("cents");
    if (cents == tuning->end() || !cents->is_array() || cents->empty() ||
        cents->size() > static_cast<std::size_t>(Tuning::kMaxDegrees))
        return "\"tuning\" has no \"cents\" list of 1 to " + std::to_string(Tuning::kMaxDegrees) +
               " pitches";
    auto read = std::make_shared<Tuning>();
    for (const nlohmann::json& pitch : *cents) {
        if (!pitch.is_number())
            return "\"tuning\" has a pitch that is not a number";
        read->cents.push_back(pitch.get<double>());
    }
    if (const auto description = tuning->find("description");
        description != tuning->end() && description->is_string())
        read->description = description->get<std::string>();
    settings.tuning = std::move(read);
    return "";
}

} // namespace

PerformanceSettings PerformanceSettings::Current()
{
    PerformanceSettings now;
    now.strings = Harp::GetInstance()->GetNumStrings();
    const GLStuff::ScaleChoice scale = GLStuff::CurrentScale();
    for (const NamedScale& named : kScales)
        if (named.table == scale.table && !scale.tuning)
            now.scale = named.name;
    if (scale.tuning) {
        now.scale = kScalaName;
        now.tuning = scale.tuning;
    }
    now.key = scale.key;
    now.touch = GLStuff::Touch() ? 1 : 0;
    now.voice = Harp::VoiceName(Harp::GetInstance()->GetVoice());
    return now;
}

std::string PerformanceSettings::ScaleError(const std::string& name)
{
    if (FindScale(name))
        return "";
    std::string known;
    for (const NamedScale& scale : kScales)
        known += std::string(known.empty() ? "" : ", ") + scale.name;
    return "unknown scale \"" + name.substr(0, 40) + "\" (known: " + known + ")";
}

bool PerformanceSettings::Parse(const std::string& line, PerformanceSettings& settings,
                                std::string& error)
{
    return Read(nlohmann::json::parse(line, nullptr, false), settings, error);
}

bool PerformanceSettings::Read(const nlohmann::json& message, PerformanceSettings& settings,
                               std::string& error)
{
    error.clear();
    if (!message.is_object() || !message.contains("instrument"))
        return false;
    const nlohmann::json& instrument = message["instrument"];
    if (!instrument.is_object()) {
        error = "\"instrument\" is not an object";
        return false;
    }
    PerformanceSettings read;
    if (auto strings = instrument.find("strings"); strings != instrument.end()) {
        if (!strings->is_number_integer() || *strings < Harp::kMinStrings ||
            *strings > Harp::kMaxStrings) {
            error = "\"strings\" is not a whole number from " + std::to_string(Harp::kMinStrings) +
                    " to " + std::to_string(Harp::kMaxStrings);
            return false;
        }
        read.strings = strings->get<int>();
    }
    if (auto scale = instrument.find("scale"); scale != instrument.end()) {
        if (!scale->is_string()) {
            error = "\"scale\" is not a name";
            return false;
        }
        read.scale = scale->get<std::string>();
        if (read.scale == kScalaName) {
            error = ReadTuning(instrument, read);
        } else {
            error = ScaleError(read.scale);
        }
        if (!error.empty())
            return false;
    }
    if (auto key = instrument.find("key"); key != instrument.end()) {
        if (!key->is_number_integer() || *key < 0 || *key > 127) {
            error = "\"key\" is not a note from 0 to 127";
            return false;
        }
        read.key = key->get<int>();
    }
    if (auto touch = instrument.find("touch"); touch != instrument.end()) {
        if (!touch->is_boolean()) {
            error = "\"touch\" is neither true nor false";
            return false;
        }
        read.touch = touch->get<bool>() ? 1 : 0;
    }
    if (auto voice = instrument.find("voice"); voice != instrument.end()) {
        Harp::VoiceKind kind;
        if (!voice->is_string() || !Harp::VoiceNamed(voice->get<std::string>(), kind)) {
            error = "\"voice\" is neither \"classic\" nor \"concert\"";
            return false;
        }
        read.voice = voice->get<std::string>();
    }
    if (!read.ChangeAnything()) {
        error = "neither \"strings\" nor \"scale\" nor \"key\" nor \"touch\" nor \"voice\"";
        return false;
    }
    settings = read;
    return true;
}

std::string PerformanceSettings::Line() const
{
    nlohmann::ordered_json instrument = nlohmann::ordered_json::object();
    if (strings > 0)
        instrument["strings"] = strings;
    if (!scale.empty())
        instrument["scale"] = scale;
    if (scale == kScalaName && tuning)
        instrument["tuning"] = {{"description", tuning->description}, {"cents", tuning->cents}};
    if (key >= 0)
        instrument["key"] = key;
    if (touch >= 0)
        instrument["touch"] = touch == 1;
    if (!voice.empty())
        instrument["voice"] = voice;
    return nlohmann::ordered_json{{"instrument", instrument}}.dump();
}

bool PerformanceSettings::BuiltInScale(const std::string& name, const int*& table, int& count)
{
    const NamedScale* named = FindScale(name);
    if (!named)
        return false;
    table = named->table;
    count = named->count;
    return true;
}

bool PerformanceSettings::PlaysTuning() const
{
    return scale == kScalaName && tuning;
}

bool PerformanceSettings::IsScalaFile(const std::string& name)
{
    const std::string suffix = ".scl";
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool PerformanceSettings::ChangeAnything() const
{
    return strings > 0 || !scale.empty() || key >= 0 || touch >= 0 || !voice.empty();
}

PerformanceSettings PerformanceSettings::Unless(const PerformanceSettings& held) const
{
    PerformanceSettings rest = *this;
    if (held.strings > 0)
        rest.strings = 0;
    if (!held.scale.empty()) {
        rest.scale.clear();
        rest.tuning.reset();
    }
    if (held.key >= 0)
        rest.key = -1;
    if (held.touch >= 0)
        rest.touch = -1;
    if (!held.voice.empty())
        rest.voice.clear();
    return rest;
}

bool PerformanceSettings::Apply(std::ostream& errors) const
{
    return GLStuff::ApplySettings(Unless(GLStuff::HeldSettings()), errors);
}
