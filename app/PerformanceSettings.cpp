#include "PerformanceSettings.h"

#include <iostream>
#include <mutex>

#include <nlohmann/json.hpp>

#include "GLStuff.h"
#include "Harp.h"
#include "Keys.h"
#include "Leap.h"

namespace {

struct NamedScale {
    const char* name;
    unsigned char key; // the key that selects it
    const int* table;
};

const NamedScale kScales[] = {
    {"pentatonic-major", '1', GLStuff::gPentatonicMajor},
    {"pentatonic-minor", '2', GLStuff::gPentatonicMinor},
    {"diatonic", '3', GLStuff::gDiatonic},
    {"whole-tone", '4', GLStuff::gWholeTone},
};

const NamedScale* FindScale(const std::string& name)
{
    for (const NamedScale& scale : kScales)
        if (name == scale.name)
            return &scale;
    return nullptr;
}

// Set on the window thread, cleared by whichever thread quits (a signal's own thread too), so
// under sRecorderLock: a change being recorded never meets a controller being destroyed.
std::mutex sRecorderLock;
const Leap::Controller* sRecorder = nullptr;
// Window thread only, like the keys.
bool sApplying = false;

} // namespace

PerformanceSettings PerformanceSettings::Current()
{
    PerformanceSettings now;
    now.strings = Harp::GetInstance()->GetNumStrings();
    const GLStuff::ScaleChoice scale = GLStuff::CurrentScale();
    for (const NamedScale& named : kScales)
        if (named.table == scale.table)
            now.scale = named.name;
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
    error.clear();
    const nlohmann::json message = nlohmann::json::parse(line, nullptr, false);
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
        error = ScaleError(read.scale);
        if (!error.empty())
            return false;
    }
    if (read.strings == 0 && read.scale.empty()) {
        error = "neither \"strings\" nor \"scale\"";
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
    return nlohmann::ordered_json{{"instrument", instrument}}.dump();
}

void PerformanceSettings::Apply() const
{
    sApplying = true;
    if (const NamedScale* named = FindScale(scale))
        GLStuff::ApplyKey(named->key, std::cout);
    if (strings > 0) {
        Harp* harp = Harp::GetInstance();
        // One key press a string; stops where the harp stops (its limits).
        for (int count = harp->GetNumStrings(); count != strings;) {
            GLStuff::ApplyKey(count < strings ? 'a' : 'z', std::cout);
            const int now = harp->GetNumStrings();
            if (now == count)
                break;
            count = now;
        }
    }
    sApplying = false;
    Changed();
}

void PerformanceSettings::RecordTo(const Leap::Controller* controller)
{
    std::lock_guard<std::mutex> hold(sRecorderLock);
    sRecorder = controller;
}

void PerformanceSettings::Changed()
{
    if (sApplying)
        return;
    const std::string line = Current().Line();
    std::lock_guard<std::mutex> hold(sRecorderLock);
    if (sRecorder)
        sRecorder->record(line);
}
