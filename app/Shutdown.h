#pragma once

#include <memory>

namespace Leap {
class Controller;
}
class RtAudioDriver;

// Start-up's owners of the tracking and audio threads, known here so that any exit from the
// window thread (the quit key, the menu, an exit inside the window system) stops both threads
// before the static objects they use are destroyed. Window thread only.
namespace GLStuff {

// Registers start-up's controller; StopThreads destroys it through this owner, at the latest when
// the process exits. Null unregisters.
void RegisterTracking(std::unique_ptr<Leap::Controller>* controller);
// Registers the audio driver; StopThreads stops and closes its stream. Null unregisters.
void RegisterAudio(RtAudioDriver* driver);

// Destroys the tracking controller (no listener callback after it), then stops and closes the
// audio stream. Safe to call more than once and with nothing registered.
void StopThreads();

// Stops the threads and ends the process with status 0.
[[noreturn]] void QuitNow();

} // namespace GLStuff
