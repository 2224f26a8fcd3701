#pragma once

#include "tracking/Leap.h"

namespace GLStuff {

// Moves the fingertip tracks (gFingers) to a frame, hands every move to the pluck detector and
// every fingertip to the outputs. The tracking thread, or the only thread of a program without
// one; gLock not held.
void Follow(const Leap::Frame& frame);

} // namespace GLStuff
