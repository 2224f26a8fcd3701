#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "tracking/Leap.h"
#include "tracking/camera/CameraSource.h"

namespace Leap {

// The capture side of a CameraSource: opens the camera, stream or video and keeps its newest
// image for the source's thread to take. Shared by the source and its capture thread; the thread
// keeps it alive while it runs, so one left inside a backend at stop frees nothing the source
// still needs.
//
// Not the outputs' Worker (src/Worker.h): it keeps one image, the newest, not a queue, and its
// thread cannot always be joined at stop (a backend may hold it in a blocking read), so it is
// left to end on its own with what it uses.
struct CameraCapture {
    using Kind = CameraSource::Kind;

    CameraCapture(Kind kind, std::string device, bool loop)
        : fKind(kind), fDevice(std::move(device)), fLoop(loop)
    {
    }

    // The capture thread: opens, then keeps the newest image in fSlot until stopped.
    void run();
    bool open();
    // For a named pipe: waits until a program writes to it, and gives in `held` a descriptor of
    // it to keep open while the backend opens `source`. False once stopped.
    bool waitForWriter(int& held, std::string& source);
    // What a writer that has gone left in the pipe `held`, copied to a file in memory that
    // replaces it in `held`, named by `source`.
    void keepWhatIsWritten(int& held, std::string& source) const;
    void reportOpenFailure() const;
    bool waitFor(std::chrono::steady_clock::duration interval);
    bool stopping();
    void post(SourceEvent::Kind status);
    void report(const std::string& what) const;

    const Kind fKind;
    const std::string fDevice;
    const bool fLoop;

    // Capture thread only.
    cv::VideoCapture fVideo;
    double fFramesPerSecond = 30.0;

    std::mutex fLock;
    std::condition_variable fWake;
    bool fStopped = false;        // guarded by fLock
    bool fFinished = false;       // the capture thread has returned; guarded by fLock
    cv::Mat fSlot;                // newest image; guarded by fLock
    std::int64_t fSlotMicros = 0; // its capture time; guarded by fLock
    bool fFresh = false;          // fSlot not yet tracked; guarded by fLock
    // Connects, disconnects, and kStatus for a camera that cannot be opened; guarded by fLock.
    std::deque<SourceEvent::Kind> fStatus;
    bool fImageFirst = false; // fSlot was taken before fStatus.front(); guarded by fLock
    std::atomic<std::int64_t> fDropped{0};
};

} // namespace Leap
