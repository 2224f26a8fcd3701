#include "GLStuff.h"

// Every shared object of the layer, in the order they are built; static objects are destroyed
// the other way round, so the listener goes before the lock and the map it uses. Threads that
// use them are stopped first (Shutdown.h).
namespace GLStuff {

const int gPentatonicMajor[5] = {0, 2, 5, 7, 9};
const int gPentatonicMinor[5] = {0, 3, 5, 7, 10};
const int gDiatonic[7] = {0, 2, 4, 5, 7, 9, 11};
const int gWholeTone[6] = {0, 2, 4, 6, 8, 10};

// Written only by SetScale, under gLock; read by other threads only through CurrentScale.
const int* gScale = gPentatonicMajor;
int gScaleIntervals = 5;

int gWidth = 800;
int gHeight = 600;
int gLastWidth = 800;
int gLastHeight = 600;
float g_light0_pos[4] = {0.3f, 0.24f, -1.0f, 2.0f};
bool gFullscreen = false;
float gFrameRate = 60.0f;
float gRefreshRate = 1000.0f / 60.0f;
bool gShowHUD = true;

std::map<int, Finger> gFingers;
std::mutex gLock;

void SetScale(const int* table, int count)
{
    if (!table || count < 1)
        return;
    std::lock_guard<std::mutex> hold(gLock);
    gScale = table;
    gScaleIntervals = count;
}

ScaleChoice CurrentScale()
{
    std::lock_guard<std::mutex> hold(gLock);
    return ScaleChoice{gScale, gScaleIntervals};
}

} // namespace GLStuff

HarpListener listener;
