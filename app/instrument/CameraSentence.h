#pragma once

#include <string>

#include "tracking/camera/CameraView.h"

namespace GLStuff {

// What the tracker waits for, in the player's words: one short sentence for the banner and for
// standard output. Free of GL and of OpenCV, so the web page says the same.
std::string CameraSentence(const Leap::CameraView::Status& status);

} // namespace GLStuff
