#include "Shutdown.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>

#include "ConsoleWriter.h"
#include "Instrument.h"
#include "Leap.h"
#include "MidiOut.h"
#include "OscOut.h"
#include "QuitSignals.h"
#include "RtAudioDriver.h"
#include "SettingsRelay.h"

namespace GLStuff {
namespace {

// How long quitting waits for a console that takes no output (a paused terminal, a pipe nobody
// reads) before the rest is dropped.
constexpr std::chrono::milliseconds kConsolePatience{500};

// Never destroyed: an exit handler or a thread parked in Leave may still use them while the
// static objects go.
struct Owners {
    std::mutex lock; // held through StopThreads, so two stops never interleave
    std::unique_ptr<Leap::Controller>* tracking = nullptr;
    RtAudioDriver* audio = nullptr;
    ConsoleWriter* console = nullptr;
    bool exitHandlerInstalled = false;
};

Owners& owners()
{
    static Owners* const sOwners = new Owners();
    return *sOwners;
}

std::atomic<bool> sLeaving{false};

// Registered after the static objects of the program are built (they are built before main), so
// it runs before they are destroyed, whichever exit is taken.
void ExitHandler()
{
    StopThreads();
}

void Register(Owners& all)
{
    if (!all.exitHandlerInstalled)
        all.exitHandlerInstalled = std::atexit(ExitHandler) == 0;
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

void RegisterTracking(std::unique_ptr<Leap::Controller>* controller)
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    all.tracking = controller;
    Register(all);
}

void RegisterAudio(RtAudioDriver* driver)
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    all.audio = driver;
    Register(all);
}

void RegisterConsole(ConsoleWriter* console)
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    all.console = console;
    Register(all);
}

void StopThreads()
{
    Owners& all = owners();
    std::lock_guard<std::mutex> hold(all.lock);
    // Tracking first: a pluck in flight still finds a live harp and server.
    if (all.tracking != nullptr) {
        UseTracking(nullptr);
        SettingsRelay::Close(); // a replay waiting for the window thread would never be joined
        all.tracking->reset();
    }
    // No pluck can come any more: every sounding note gets its note-off.
    MidiOut::GetInstance()->Stop();
    OscOut::GetInstance()->Stop(std::cerr);
    if (all.audio != nullptr)
        all.audio->Cleanup();
    if (all.console != nullptr)
        all.console->Stop(kConsolePatience);
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
