#pragma once

#include <functional>
#include <memory>
#include <string>

namespace Leap {
class CameraView;
}

namespace GLStuff {

// What the program hands the window at start-up: the window reaches the program's parts (the
// tracking, the way out, the console's errors) only through these, never by name. Each may be
// empty, and then does nothing.
struct WindowHooks {
    // Starts the tracking; what its camera sees, null for a source without one. Before the window
    // opens: frames may reach the instrument from here on.
    std::function<std::shared_ptr<Leap::CameraView>()> startTracking;
    // The main loop has returned (the window was closed): the tracking stops, the rest runs on.
    std::function<void()> stopTracking;
    // The quit key and the menu: stops everything and ends the process; does not return.
    std::function<void()> quit;
    // Every redraw tick, window thread, before the redraw.
    std::function<void()> tick;
    // The line shown under the banner (the last reason on standard error); empty shows none.
    std::function<std::string()> lastError;
};

// The hooks GLStartup was given; window thread.
extern WindowHooks gHooks;

} // namespace GLStuff
