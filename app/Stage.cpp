#include "app/Stage.h"

#include <chrono>
#include <iostream>

#include "app/ConsoleWriter.h"
#include "app/instrument/Actions.h"
#include "app/midi/MidiOut.h"
#include "app/osc/OscOut.h"
#include "src/device/RtAudioDriver.h"
#include "tracking/Leap.h"

namespace {

// How long quitting waits for a console that takes no output (a paused terminal, a pipe nobody
// reads) before the rest is dropped.
constexpr std::chrono::milliseconds kConsolePatience{500};
// How long the tracking waits for the sound's first block: a replay's clock starts with it.
constexpr std::chrono::seconds kSoundPatience{3};

} // namespace

Stage::Stage() = default;

Stage::~Stage()
{
    Stop();
}

void Stage::UseConsole(ConsoleWriter* console)
{
    std::lock_guard<std::mutex> hold(fLock);
    fConsole = console;
}

void Stage::StartAudio(std::unique_ptr<RtAudioDriver> driver)
{
    std::lock_guard<std::mutex> hold(fLock);
    fAudio = std::move(driver);
    if (fStopped && fAudio)
        fAudio->Cleanup();
}

std::shared_ptr<Leap::CameraView> Stage::StartTracking(Leap::Listener* listener,
                                                       std::unique_ptr<Leap::FrameSource> source)
{
    RtAudioDriver* audio = nullptr;
    {
        std::lock_guard<std::mutex> hold(fLock);
        audio = fAudio.get();
    }
    // A stream started is not yet one that plays: on a busy machine its first block can come
    // after a replay's first plucks, which would then sound late and together, or not be heard.
    // Not under the lock, so that a quit is not held up: Stop closes the stream, which ends the
    // wait, and the driver lives as long as the stage.
    if (audio != nullptr && audio->IsRunning() && !audio->WaitForFirstBlock(kSoundPatience) &&
        audio->IsRunning())
        std::cerr << "quorvel: the sound has not started after " << kSoundPatience.count()
                  << " s; playing on\n"
                  << std::flush;
    std::lock_guard<std::mutex> hold(fLock);
    if (fStopped)
        return nullptr;
    // Frames may reach the listener from here on.
    fTracking = std::make_unique<Leap::Controller>(listener, std::move(source));
    GLStuff::UseTracking(fTracking.get());
    return fTracking->cameraView();
}

void Stage::StopTracking()
{
    std::lock_guard<std::mutex> hold(fLock);
    StopTrackingLocked();
}

bool Stage::IsTracking() const
{
    std::lock_guard<std::mutex> hold(fLock);
    return fTracking != nullptr;
}

void Stage::StopTrackingLocked()
{
    if (!fTracking)
        return;
    GLStuff::UseTracking(nullptr); // and a replay waiting for the window thread goes on
    fTracking.reset();
}

void Stage::Stop()
{
    std::lock_guard<std::mutex> hold(fLock);
    fStopped = true;
    // Tracking first: a pluck in flight still finds a live harp and server.
    StopTrackingLocked();
    // No pluck can come any more: every sounding note gets its note-off.
    MidiOut::GetInstance()->Stop();
    OscOut::GetInstance()->Stop(std::cerr);
    if (fAudio)
        fAudio->Cleanup();
    if (fConsole)
        fConsole->Stop(kConsolePatience);
}
