#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "app/instrument/Harp.h"
#include "app/instrument/Tuning.h"

class InstrumentOutput;
class PerformanceSettings;

namespace Leap {
class Controller;
}

// Changes to the instrument as a player makes them, whoever asks (a key, a recording's settings
// line): each reaches every part that must know of it, the harp, the outputs and the tracking,
// and a recording being made carries the settings that result, one line a change. Window thread,
// or the only thread of a program without a window.
namespace GLStuff {

// A built-in scale (gPentatonicMajor ...), unless it would put a string out of range at the
// current key: then false, `error` says why and the scale stays (the settings are recorded all
// the same, as the keys always did).
bool ChooseScale(const int* table, int count, std::string& error);
// The key (note of string 0, 0..127), unless RangeError refuses it: then false and nothing is
// recorded.
bool ChooseKey(int key, std::string& error);
// A Scala tuning from the key upwards, unless RangeError refuses it: then false and nothing is
// recorded.
bool ChooseTuning(std::shared_ptr<const Tuning> tuning, std::string& error);
// Touch on or off.
void ChooseTouch(bool on);
// The strings' voice; they are built anew, silent. Before the harp is built, the voice it will be
// built in.
void ChooseVoice(Harp::VoiceKind voice);
// One string more, up to Harp::kMaxStrings.
void AddString();
// The rightmost string goes, down to Harp::kMinStrings; its MIDI note ends.
void RemoveString();
// Adds or removes strings one at a time until there are `strings`, or a limit stops it.
void ChooseStringCount(int strings);
// The settings of a recording's line (or a renderer's options) as one change: the scale, then
// the key, the touch and the strings. A key or scale that would put a string out of range is
// refused with one line on `errors`; false when something was refused.
bool ApplySettings(const PerformanceSettings& settings, std::ostream& errors);

// The settings a program was started with (its command line): they hold for the whole performance,
// and a recording's lines (PerformanceSettings::Apply) change only the rest. Before the tracking
// starts; HeldSettings any thread.
void HoldSettings(const PerformanceSettings& held);
PerformanceSettings HeldSettings();

// The tracking takes the player's position anew: a camera sets the string plane again from the
// next hand held still. Other sources have nothing to set.
void Recalibrate();

// The tracking that Recalibrate() reaches and that records the changes: set at start-up once the
// controller exists, cleared before it goes (which also ends a wait in SettingsRelay, so the
// tracking thread can be joined). Any thread.
void UseTracking(const Leap::Controller* controller);

// Outputs hear every frame's fingertips and every pluck from the moment they are added; added
// before the tracking starts, never removed (an output that stopped does nothing). The same
// output twice is added once. At most kMaxOutputs. Any thread; OutputAt never waits.
constexpr int kMaxOutputs = 4;
void AddOutput(InstrumentOutput* output);
// Slot 0..kMaxOutputs-1; null when empty.
InstrumentOutput* OutputAt(int slot);

} // namespace GLStuff
