#pragma once

#include <map>
#include <mutex>

#include "Finger.h"
#include "HarpListener.h"

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

struct ScaleChoice {
    const int* table;
    int count;
};

// Publishes a scale table and its note count together, so no reader sees one without the other.
void SetScale(const int* table, int count);
// The current table and its count, read as one unit. Any thread.
ScaleChoice CurrentScale();

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

} // namespace GLStuff

// The one listener, handed to the tracking controller at start-up; uses gFingers and gLock.
extern HarpListener listener;
