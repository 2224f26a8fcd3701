#include "Shutdown.h"

#include <cstdlib>

#include "Leap.h"
#include "MidiOut.h"
#include "PerformanceSettings.h"
#include "RtAudioDriver.h"
#include "SettingsRelay.h"

namespace GLStuff {
namespace {

std::unique_ptr<Leap::Controller>* sTracking = nullptr;
RtAudioDriver* sAudio = nullptr;

} // namespace

void RegisterTracking(std::unique_ptr<Leap::Controller>* controller)
{
    sTracking = controller;
    // Registered once a controller exists: exit handlers run in reverse order, so this one runs
    // before the tracking library's own exit clean-up and before the static finger map, lock and
    // listener go, whichever exit the window thread takes (freeglut exits on its own errors).
    static bool sExitHandlerRegistered = false;
    if (controller != nullptr && !sExitHandlerRegistered) {
        sExitHandlerRegistered = std::atexit(StopThreads) == 0;
    }
}

void RegisterAudio(RtAudioDriver* driver)
{
    sAudio = driver;
}

void StopThreads()
{
    // Tracking first: a pluck in flight still finds a live harp and server.
    if (sTracking != nullptr) {
        PerformanceSettings::RecordTo(nullptr);
        SettingsRelay::Close(); // a replay waiting for the window thread would never be joined
        sTracking->reset();
    }
    // No pluck can come any more: every sounding note gets its note-off.
    MidiOut::GetInstance()->Stop();
    if (sAudio != nullptr) {
        sAudio->Cleanup();
    }
}

void QuitNow()
{
    StopThreads();
    std::exit(0);
}

} // namespace GLStuff
