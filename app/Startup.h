#pragma once

#include "SourceSetting.h"

namespace GLStuff {

// Starts the tracking controller on the source `tracking` chooses, opens the window and runs the
// main loop; returns only when the loop does (the window was closed), with the controller
// destroyed. Window thread.
void GLStartup(int argc, const char** argv, const Leap::SourceSettings& tracking);

} // namespace GLStuff
