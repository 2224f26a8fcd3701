#include "Shutdown.h"

#include <cstdlib>

#include "Leap.h"
#include "RtAudioDriver.h"

namespace GLStuff {
namespace {

std::unique_ptr<Leap::Controller>* sTracking = nullptr;
RtAudioDriver* sAudio = nullptr;

} // namespace

void RegisterTracking(std::unique_ptr<Leap::Controller>* controller)
{
    sTracking = controller;
}

void RegisterAudio(RtAudioDriver* driver)
{
    sAudio = driver;
}

void StopThreads()
{
    // Tracking first: a pluck in flight still finds a live harp and server.
    if (sTracking != nullptr) {
        sTracking->reset();
    }
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
