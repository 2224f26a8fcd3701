#pragma once

#include <memory>

namespace Leap {
class Controller;
}
class RtAudioDriver;
class ConsoleWriter;

// The one way out of the program. Whatever ends it (the quit key or menu, a closed window, a quit
// signal, an exit inside the window system or the audio driver), the threads stop in this order
// before any static object they use is destroyed:
//   1. tracking: the controller is destroyed, so no frame and no pluck comes after it (a
//      recording is flushed);
//   2. MIDI: every sounding note ends;
//   3. audio: the stream stops and closes;
//   4. the console writer: what was printed is written out, as far as the console takes it.
// The first of QuitNow, QuitBySignal and Finish to be called leaves; a later call, on another
// thread, waits for the process to end.
namespace GLStuff {

// Start-up's owners of those threads; null unregisters. The first registration also installs the
// process's one exit handler, which runs StopThreads for an exit taken anywhere else.
void RegisterTracking(std::unique_ptr<Leap::Controller>* controller);
void RegisterAudio(RtAudioDriver* driver);
void RegisterConsole(ConsoleWriter* console);

// Stops what is registered, in the order above. Safe to call more than once, from any thread but
// the ones it stops, and with nothing registered.
void StopThreads();

// The quit key and the menu: stops the threads and ends the process with status 0.
[[noreturn]] void QuitNow();
// A quit signal (signal thread): stops the threads, then ends the process by `signal` with its
// default action, so the parent sees the conventional status (128 + signal in a shell). A second
// quit signal meanwhile ends the process at once.
[[noreturn]] void QuitBySignal(int signal);
// The main loop returned (the window was closed): stops the threads and returns, for main to
// return 0.
void Finish();

} // namespace GLStuff
