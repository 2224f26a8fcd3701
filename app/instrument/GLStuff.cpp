#include "app/instrument/GLStuff.h"

#include <cmath>
#include <iomanip>
#include <sstream>

#include "app/instrument/Harp.h"
#include "app/instrument/Pluck.h"

// Every shared object of the layer. Threads that use them are stopped before static objects are
// destroyed (Shutdown.h).
namespace GLStuff {

const int gPentatonicMajor[5] = {0, 2, 5, 7, 9};
const int gPentatonicMinor[5] = {0, 3, 5, 7, 10};
const int gDiatonic[7] = {0, 2, 4, 5, 7, 9, 11};
const int gWholeTone[6] = {0, 2, 4, 6, 8, 10};

// Written only by SetScale, under gLock; read by other threads only through CurrentScale.
const int* gScale = gPentatonicMajor;
int gScaleIntervals = 5;
// The key and the Scala tuning (null: the table plays); under gLock like the table.
int gKey = kDefaultKey;
std::shared_ptr<const Tuning> gTuning;

int gWidth = 800;
int gHeight = 600;
int gLastWidth = 800;
int gLastHeight = 600;
float g_light0_pos[4] = {0.3f, 0.24f, -1.0f, 2.0f};
bool gFullscreen = false;
float gFrameRate = 60.0f;
float gRefreshRate = 1000.0f / 60.0f;
bool gShowHUD = true;
bool gShowCamera = true;

std::map<int, Finger> gFingers;
std::mutex gLock;

void SetScale(const int* table, int count)
{
    if (!table || count < 1)
        return;
    std::lock_guard<std::mutex> hold(gLock);
    gScale = table;
    gScaleIntervals = count;
    gTuning.reset();
}

ScaleChoice CurrentScale()
{
    std::lock_guard<std::mutex> hold(gLock);
    return ScaleChoice{gScale, gScaleIntervals, gKey, gTuning};
}

std::string RangeError(const ScaleChoice& choice)
{
    // Every string the harp can have: adding one later never leaves the range.
    const int highest = Harp::kMaxStrings - 1;
    double lowest = choice.key;
    double top = choice.key;
    for (int stringIndex = 0; stringIndex <= highest; ++stringIndex) {
        const double pitch = StringPitch(stringIndex, choice);
        lowest = std::fmin(lowest, pitch);
        top = std::fmax(top, pitch);
    }
    auto at = [](double pitch) {
        // Far outside MIDI a note number would overflow: such a pitch is named in cents.
        if (std::fabs(pitch) <= 1000.0)
            return "note " + std::to_string(static_cast<int>(std::lround(pitch)));
        std::ostringstream cents;
        cents << std::setprecision(3) << pitch * 100.0 << " cents from note 0";
        return "a pitch " + cents.str();
    };
    if (choice.key < 0 || lowest < -0.5)
        return "a string would sound " + at(lowest) + ", below MIDI's 0..127";
    if (top > kHighestTunableNote)
        return "string " + std::to_string(Harp::kMaxStrings) + " would sound " + at(top) +
               ", above the strings' highest note " + std::to_string(kHighestTunableNote);
    return "";
}

bool SetKey(int key, std::string& error)
{
    std::lock_guard<std::mutex> hold(gLock);
    ScaleChoice choice{gScale, gScaleIntervals, key, gTuning};
    error = RangeError(choice);
    if (!error.empty())
        return false;
    gKey = key;
    return true;
}

bool SetTuning(std::shared_ptr<const Tuning> tuning, std::string& error)
{
    if (!tuning || tuning->cents.empty()) {
        error = "a tuning without degrees";
        return false;
    }
    std::lock_guard<std::mutex> hold(gLock);
    ScaleChoice choice{gScale, gScaleIntervals, gKey, tuning};
    error = RangeError(choice);
    if (!error.empty())
        return false;
    gTuning = std::move(tuning);
    gScaleIntervals = static_cast<int>(gTuning->cents.size());
    return true;
}

} // namespace GLStuff
