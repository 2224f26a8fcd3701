#pragma once

#include "app/instrument/GLDisplay.h"

namespace GLStuff {

// One fingertip's track. Fields written on the tracking thread and read on the window thread,
// both under gLock. Drawn in Render.cpp.
class Finger : public GLDisplay {
public:
    Finger() : GLDisplay(0.0f, 0.0f, 1.0f, 1.0f), fStale(false), fNearness(0.5f) {}
    Finger(Finger&&) = default;
    Finger& operator=(Finger&&) = default;

    // Places the fingertip (translate, scale, colour) and calls Draw. Window thread, GL context
    // current.
    void Display();
    void Draw();

    bool fStale;     // not yet seen in the frame being processed
    float fNearness; // 1 - z/300 for tracker depth z in mm: 0 at z = 300, 1 on the string plane
    long long fTimestampMicros = -1; // the frame that last moved it; -1 before the first
};

} // namespace GLStuff
