#pragma once

#include <memory>
#include <mutex>

class ConsoleWriter;
class RtAudioDriver;

namespace Leap {
class CameraView;
class Controller;
class FrameSource;
class Listener;
} // namespace Leap

// The long-lived parts of the playing instrument and their one owner. main builds them in this
// order: the console, the audio driver, the outputs (OSC, then MIDI), the tracking; Stop tears
// them down the other way, whoever ends the program (Shutdown.h):
//   1. tracking: the controller is destroyed, so no frame and no pluck comes after it (a
//      recording is flushed);
//   2. MIDI: every sounding note ends; then OSC sends what waits;
//   3. audio: the stream stops and closes;
//   4. the console writer: what was printed is written out, as far as the console takes it.
// Starting and stopping a part hold one lock, so a quit signal's thread never meets a part half
// built, and a part started after Stop is not started at all. The outputs are the process's own
// (MidiOut, OscOut): Stop stops them whether or not they were started.
class Stage {
public:
    Stage();
    // Stops whatever still runs. Unregistered from Shutdown before it goes.
    ~Stage();

    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Start-up, main thread. The console writer is never destroyed (an exit handler still
    // writes through it); the driver is the stage's from here.
    void UseConsole(ConsoleWriter* console);
    void StartAudio(std::unique_ptr<RtAudioDriver> driver);

    // Builds the tracking controller for `listener` with frames from `source` and hands it to the
    // instrument (GLStuff::UseTracking) before anything else can stop it, once the sound plays
    // (at most a few seconds' wait; said on standard error if it does not). What its camera sees,
    // for the window: null for a source without a camera, or when the stage has already stopped
    // (and then no controller is built).
    std::shared_ptr<Leap::CameraView> StartTracking(Leap::Listener* listener,
                                                    std::unique_ptr<Leap::FrameSource> source);
    // The tracking only (the window's main loop has returned); the rest runs on.
    void StopTracking();
    bool IsTracking() const;

    // Everything, in the order above. Safe to call more than once, from any thread but the ones
    // it stops.
    void Stop();

private:
    void StopTrackingLocked();

    mutable std::mutex fLock; // held through every start and stop
    bool fStopped = false;
    ConsoleWriter* fConsole = nullptr;
    std::unique_ptr<RtAudioDriver> fAudio;
    std::unique_ptr<Leap::Controller> fTracking;
};
