#pragma once

// SIGINT, SIGTERM and SIGHUP take the quit key's way out (Shutdown.h) and then end the program
// with the signal's own status. No handler runs inside a signal: the signals stay blocked in every
// thread, and a thread of its own takes them with sigwait.
namespace GLStuff {

// First thing in main, before any thread starts: blocks the quit signals in the calling thread,
// so that every thread started later inherits the block, and starts the thread that waits for
// them. A signal that the parent set to be ignored (as nohup does with SIGHUP) stays ignored.
void WatchQuitSignals();

// Unblocks the quit signals on the calling thread, whose default action then ends the process:
// a second signal while quitting takes no longer than the signal itself.
void LetQuitSignalsEndTheProcess();

} // namespace GLStuff
