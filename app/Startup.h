#pragma once

class Stage;

namespace GLStuff {

// Starts the tracking on `stage`, opens the window and runs the main loop; returns only when the
// loop does (the window was closed), with the tracking stopped. Window thread.
void GLStartup(int argc, const char** argv, Stage& stage);

} // namespace GLStuff
