#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/instrument/Finger.h"
#include "app/instrument/Tuning.h"

// The shared objects of the window and tracking layer, all defined in GLStuff.cpp. Positions are
// in normalised window units: x 0 at the left edge to 1 at the right, y 0 at the bottom to 1 at
// the top.
namespace GLStuff {

// Fingertip tracks keyed by the tracker's finger id; guarded by gLock.
extern std::map<int, Finger> gFingers;
extern std::mutex gLock;

// Scale tables: semitone offsets above the first note of an octave.
extern const int gPentatonicMajor[5];
extern const int gPentatonicMinor[5];
extern const int gDiatonic[7];
extern const int gWholeTone[6];

// The current scale. Written only through SetScale (window thread); the window thread may read
// them directly, any other thread reads the pair through CurrentScale.
extern const int* gScale;
extern int gScaleIntervals;

constexpr int kDefaultKey = 32; // note of string 0 unless a key is chosen (69 = 440 Hz)

// The current scale as one unit: a built-in table and its count, the key (note of string 0) and,
// when a Scala tuning is chosen, that tuning, which then replaces the table.
struct ScaleChoice {
    ScaleChoice(const int* table_, int count_, int key_ = kDefaultKey,
                std::shared_ptr<const Tuning> tuning_ = nullptr)
        : table(table_), count(count_), key(key_), tuning(std::move(tuning_))
    {
    }

    const int* table;
    int count;
    int key;
    std::shared_ptr<const Tuning> tuning;
};

// Publishes a scale table and its note count together, so no reader sees one without the other.
// Leaves a Scala tuning for the table.
void SetScale(const int* table, int count);
// The current table and its count, key and tuning, read as one unit. Any thread.
ScaleChoice CurrentScale();

// The reason the key (note of string 0) and scale would put a string out of the range the
// strings can be tuned to, or outside MIDI's 0..127; empty when every string fits.
std::string RangeError(const ScaleChoice& choice);
// Sets the key, note 0..127 (69 = 440 Hz), unless RangeError refuses it: then false, `error`
// says why and the key stays. Any thread.
bool SetKey(int key, std::string& error);
// Plays in a Scala tuning from the key upwards (the built-in table stays for keys 1-4), unless
// RangeError refuses it. Any thread.
bool SetTuning(std::shared_ptr<const Tuning> tuning, std::string& error);

// Window-layer globals; window thread only.
extern int gWidth;     // window width in pixels
extern int gHeight;    // window height in pixels
extern int gLastWidth; // size to return to when leaving full screen
extern int gLastHeight;
extern float g_light0_pos[4];
extern bool gFullscreen;
extern float gFrameRate;   // redraws per second
extern float gRefreshRate; // milliseconds between redraws, 1000 / gFrameRate
extern bool gShowHUD;
extern bool gShowCamera; // the camera's picture and the hands on it, when a camera is the source

} // namespace GLStuff
