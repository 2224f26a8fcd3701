#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "CameraTracker.h"
#include "Leap.h"

namespace Leap {

// Hands seen by a webcam, or in a video file played at its own frame rate. A capture thread keeps
// only the newest image; the controller's thread runs the hand models on it in next(), so a slow
// step drops stale images instead of queueing them. Frames are stamped with the capture time.
// No camera, or models not set up: one line on standard error and no events, as with "none".
// A camera is a V4L2 device (a number or /dev/...) or a stream another program or a network
// camera sends (a named pipe, an RTSP or HTTP address). A camera lost while playing, or a
// stream that ends, disconnects and is retried every second. Video files end with a
// disconnect, or start again with `loop`.
class CameraSource : public FrameSource {
public:
    enum class Kind { kCamera, kVideo };

    // A camera: an index ("0"), a device path or a stream's address; a video: a file path.
    CameraSource(Kind kind, std::string device, bool loop);
    ~CameraSource() override;

    bool next(SourceEvent& event) override;
    void stop() override;
    void recalibrate() override { fRecalibrate = true; }

    // Images the capture thread replaced before they were tracked.
    std::int64_t droppedImages() const { return fDropped.load(); }

private:
    bool start();
    bool open();
    void capture();
    bool waitFor(std::chrono::steady_clock::duration interval);
    void post(SourceEvent::Kind status);
    void report(const std::string& what) const;

    const Kind fKind;
    const std::string fDevice;
    const bool fLoop;

    // Controller thread only.
    std::unique_ptr<CameraTracker> fTracker;
    bool fStarted = false;
    bool fOff = false; // no camera or no models: wait to be stopped
    bool fTrackingFailed = false;
    cv::Mat fWorking;

    // Capture thread only, after start().
    cv::VideoCapture fCapture;
    double fFramesPerSecond = 30.0;

    mutable std::mutex fLock;
    std::condition_variable fWake;
    bool fStopped = false;                 // guarded by fLock
    cv::Mat fSlot;                         // newest image; guarded by fLock
    std::int64_t fSlotMicros = 0;          // its capture time; guarded by fLock
    bool fFresh = false;                   // fSlot not yet tracked; guarded by fLock
    std::deque<SourceEvent::Kind> fStatus; // connects and disconnects; guarded by fLock
    bool fImageFirst = false; // fSlot was taken before fStatus.front(); guarded by fLock
    std::atomic<std::int64_t> fDropped{0};
    std::atomic<bool> fRecalibrate{false}; // asked from any thread, done on the controller's

    std::thread fCaptureThread; // last: started once everything above exists
};

// Where the hand models are: $QUORVEL_MODEL_DIR, else ${XDG_CACHE_HOME:-~/.cache}/quorvel/models.
std::string cameraModelDir();

} // namespace Leap
