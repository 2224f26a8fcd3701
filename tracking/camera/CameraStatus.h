#pragma once

#include "tracking/camera/CameraView.h"
#include "tracking/camera/HandSpace.h"

namespace Leap {

// What the tracker waits for after an image taken at `seconds`: failed, the strings set (kept a
// moment after the hand goes), a hand held still for the plane, too dark, or no hand. Shared by
// every program that runs the tracker, so that each tells the player the same.
CameraView::Status cameraStatus(bool trackingFailed, const HandSpace& space, bool handsSeen,
                                bool dark, double seconds);

} // namespace Leap
