#pragma once

class Stage;

// The one way out of the program. Whatever ends it (the quit key or menu, a closed window, a quit
// signal, an exit inside the window system or the audio driver), the registered Stage stops its
// threads in its order (Stage.h) before any static object they use is destroyed. The first of
// QuitNow, QuitBySignal and Finish to be called leaves; a later call, on another thread, waits
// for the process to end.
namespace GLStuff {

// The owner of the long-lived parts, from start-up until main returns; null unregisters it.
// The first registration also installs the process's one exit handler, which runs StopThreads
// for an exit taken anywhere else.
void RegisterStage(Stage* stage);

// Stops the registered stage; with none, still ends MIDI's sounding notes and OSC's sending.
// Safe to call more than once, from any thread but the ones it stops.
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
