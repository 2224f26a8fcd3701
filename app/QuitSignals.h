#pragma once

// SIGINT, SIGTERM and SIGHUP take the quit key's way out (Shutdown.h) and then end the program
// with the signal's own status. No handler runs inside a signal: the signals stay blocked in every
// thread, and a thread of its own takes them with sigwait.
namespace GLStuff {

// First thing in main, before any thread starts: blocks the quit signals in the calling thread,
// so that every thread started later inherits the block, and starts the thread that waits for
// them. A signal that the parent set to be ignored (as nohup does with SIGHUP) stays ignored.
void WatchQuitSignals();

// Gives the quit signals their default action again and unblocks them on the calling thread: a
// second signal while quitting ends the process at once, and so does re-raising the first.
void LetQuitSignalsEndTheProcess();

} // namespace GLStuff
