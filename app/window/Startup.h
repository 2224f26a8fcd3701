#pragma once

#include "app/window/WindowHooks.h"

namespace GLStuff {

// Starts the tracking through `hooks`, opens the window and runs the main loop; returns only when
// the loop does (the window was closed), with the tracking stopped. Window thread.
void GLStartup(int argc, const char** argv, WindowHooks hooks);

} // namespace GLStuff
