#include "app/instrument/Actions.h"

#include <array>
#include <atomic>
#include <mutex>

#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/InstrumentOutput.h"
#include "app/instrument/PerformanceSettings.h"
#include "app/instrument/Pluck.h"
#include "app/instrument/SettingsRelay.h"
#include "app/instrument/Tuning.h"
#include "tracking/Leap.h"

namespace GLStuff {

namespace {

// A quit signal clears it on its own thread while a key may be using it. Also guards sHeld.
std::mutex sTrackingLock;
const Leap::Controller* sTracking = nullptr;
PerformanceSettings sHeld;

// Filled slot by slot, never emptied: a reader needs no lock.
std::array<std::atomic<InstrumentOutput*>, kMaxOutputs> sOutputs{};

// Every change ends here, once.
void Record()
{
    {
        // Nothing records before the tracking starts: the start-up's settings are not yet a
        // change, and reading them would build the harp before its rate is known.
        std::lock_guard<std::mutex> hold(sTrackingLock);
        if (!sTracking)
            return;
    }
    const std::string line = PerformanceSettings::Current().Line();
    std::lock_guard<std::mutex> hold(sTrackingLock);
    if (sTracking)
        sTracking->record(line);
}

bool SetBuiltInScale(const int* table, int count, std::string& error)
{
    ScaleChoice choice = CurrentScale();
    choice.table = table;
    choice.count = count;
    choice.tuning.reset();
    error = RangeError(choice);
    if (!error.empty())
        return false;
    SetScale(table, count);
    return true;
}

void AddOneString()
{
    Harp::GetInstance()->AddString();
}

void RemoveOneString()
{
    Harp::GetInstance()->RemoveString();
    const int remain = Harp::GetInstance()->GetNumStrings();
    for (int slot = 0; slot < kMaxOutputs; ++slot)
        if (InstrumentOutput* output = OutputAt(slot))
            output->StringsRemain(remain);
}

void StepStringsTo(int strings)
{
    Harp* harp = Harp::GetInstance();
    for (int count = harp->GetNumStrings(); count != strings;) {
        if (count < strings)
            AddOneString();
        else
            RemoveOneString();
        const int now = harp->GetNumStrings();
        if (now == count)
            break; // a limit of the harp
        count = now;
    }
}

} // namespace

bool ChooseScale(const int* table, int count, std::string& error)
{
    const bool chosen = SetBuiltInScale(table, count, error);
    Record();
    return chosen;
}

bool ChooseKey(int key, std::string& error)
{
    if (!SetKey(key, error))
        return false;
    Record();
    return true;
}

bool ChooseTuning(std::shared_ptr<const Tuning> tuning, std::string& error)
{
    if (!SetTuning(std::move(tuning), error))
        return false;
    Record();
    return true;
}

void ChooseTouch(bool on)
{
    SetTouch(on);
    Record();
}

void ChooseVoice(Harp::VoiceKind voice)
{
    // The player's options come before the sound device: a harp built now would have the wrong
    // rate, so it is built later, in this voice.
    if (!Harp::Built()) {
        Harp::SetStartVoice(voice);
        return;
    }
    Harp::GetInstance()->SetVoice(voice);
    Record();
}

void AddString()
{
    AddOneString();
    Record();
}

void RemoveString()
{
    RemoveOneString();
    Record();
}

void ChooseStringCount(int strings)
{
    StepStringsTo(strings);
    Record();
}

bool ApplySettings(const PerformanceSettings& settings, std::ostream& errors)
{
    // The scale, then the key; a scale that only fits the new key is tried again after it.
    auto applyScale = [&settings](std::string& error) {
        if (settings.PlaysTuning())
            return SetTuning(settings.tuning, error);
        const int* table = nullptr;
        int count = 0;
        if (PerformanceSettings::BuiltInScale(settings.scale, table, count))
            return SetBuiltInScale(table, count, error);
        return true;
    };
    std::string error;
    bool applied = true;
    const bool scaleSet = applyScale(error);
    if (settings.key >= 0 && !SetKey(settings.key, error)) {
        errors << "key " << NoteName(settings.key) << " refused: " << error << "\n";
        applied = false;
    }
    if (settings.touch >= 0)
        SetTouch(settings.touch == 1);
    if (!scaleSet && !applyScale(error)) {
        errors << "scale " << settings.scale << " refused: " << error << "\n";
        applied = false;
    }
    Harp::VoiceKind voice;
    if (Harp::VoiceNamed(settings.voice, voice))
        Harp::GetInstance()->SetVoice(voice);
    if (settings.strings > 0)
        StepStringsTo(settings.strings);
    Record();
    return applied;
}

void HoldSettings(const PerformanceSettings& held)
{
    std::lock_guard<std::mutex> hold(sTrackingLock);
    sHeld = held;
}

PerformanceSettings HeldSettings()
{
    std::lock_guard<std::mutex> hold(sTrackingLock);
    return sHeld;
}

void Recalibrate()
{
    std::lock_guard<std::mutex> hold(sTrackingLock);
    if (sTracking)
        sTracking->recalibrate();
}

void UseTracking(const Leap::Controller* controller)
{
    if (!controller)
        SettingsRelay::Close(); // a replay waiting for the window thread would never be joined
    std::lock_guard<std::mutex> hold(sTrackingLock);
    sTracking = controller;
}

void AddOutput(InstrumentOutput* output)
{
    for (std::atomic<InstrumentOutput*>& slot : sOutputs) {
        InstrumentOutput* empty = nullptr;
        if (slot.compare_exchange_strong(empty, output) || empty == output)
            return;
    }
}

InstrumentOutput* OutputAt(int slot)
{
    return sOutputs[static_cast<std::size_t>(slot)].load(std::memory_order_acquire);
}

} // namespace GLStuff
