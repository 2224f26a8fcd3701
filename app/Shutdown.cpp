#include "app/Shutdown.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "app/QuitSignals.h"
#include "app/Stage.h"

namespace GLStuff {
namespace {

// Never destroyed: an exit handler or a thread parked in Leave may still use them while the
// static objects go.
struct Owners {
    std::mutex lock; // held through StopThreads, so two stops never interleave
    Stage* stage = nullptr;
    bool exitHandlerInstalled = false;
};

Owners& owners()
{
    static Owners* const sOwners = new Owners();
    return *sOwners;
}

// What StopThreads stops when no stage is registered: nothing started, only the process's
// outputs. Never destroyed, like the owners.
Stage& nothingStarted()
{
    static Stage* const sNothing = new Stage();
    return *sNothing;
}

std::atomic<bool> sLeaving{false};

// Registered after the static objects of the program are built (they are built before main), so
// it runs before they are destroyed, whichever exit is taken.
void ExitHandler()
{
    StopThreads();
}

// True for the first caller; any later caller waits here for the process to end.
void ClaimTheWayOut()
{
    if (!sLeaving.exchange(true))
        return;
    for (;;)
        pause();
}

} // namespace

void RegisterStage(Stage* stage)
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    all.stage = stage;
    if (!all.exitHandlerInstalled)
        all.exitHandlerInstalled = std::atexit(ExitHandler) == 0;
}

void StopThreads()
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    (all.stage != nullptr ? *all.stage : nothingStarted()).Stop();
}

void QuitNow()
{
    ClaimTheWayOut();
    StopThreads();
    std::exit(0);
}

void QuitBySignal(int signal)
{
    LetQuitSignalsEndTheProcess();
    ClaimTheWayOut();
    StopThreads();
    // Again: closing a JACK client can leave this thread's signal mask changed. Then the signal,
    // unblocked here with its default action, ends the process.
    LetQuitSignalsEndTheProcess();
    raise(signal);
    std::_Exit(128 + signal);
}

void Finish()
{
    ClaimTheWayOut();
    StopThreads();
}

} // namespace GLStuff
