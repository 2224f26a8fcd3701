#pragma once

#include "tracking/SourceSetting.h"

class Stage;

namespace GLStuff {

// Starts the tracking on `stage` with frames from the source `tracking` chooses, opens the window
// and runs the main loop; returns only when the loop does (the window was closed), with the
// tracking stopped. Window thread.
void GLStartup(int argc, const char** argv, Stage& stage, const Leap::SourceSettings& tracking);

} // namespace GLStuff
