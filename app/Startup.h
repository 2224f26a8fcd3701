#pragma once

namespace GLStuff {

// Starts the tracking controller, opens the window and runs the main loop; returns only when the
// loop does (the window was closed), with the controller destroyed. Window thread.
void GLStartup(int argc, const char** argv);

} // namespace GLStuff
