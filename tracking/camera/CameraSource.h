#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

#include "tracking/Leap.h"
#include "tracking/camera/CameraSettings.h"
#include "tracking/camera/CameraTracker.h"
#include "tracking/camera/CameraView.h"
#include "tracking/camera/LightMeter.h"

namespace Leap {

struct CameraCapture;

// Hands seen by a webcam, or in a video file played at its own frame rate. A capture thread keeps
// only the newest image; the controller's thread runs the hand models on it in next(), so a slow
// step drops stale images instead of queueing them. Frames are stamped with the capture time.
// No camera, or models not set up: one line on standard error and no events, as with "none".
// A camera is a V4L2 device (a number or /dev/...) or a stream another program or a network
// camera sends (a named pipe, an RTSP or HTTP address). A camera lost while playing, or a
// stream that ends, disconnects and is retried every second; a named pipe is waited on until a
// program writes to it. Video files end with a disconnect, or start again with `loop`. Opening
// and reading happen on the capture thread only, and a stop never waits on them for long.
// Each tracked image, with its hands' landmarks, goes to the camera view; every change of what
// the tracker waits for is told as a status event.
class CameraSource : public FrameSource {
public:
    enum class Kind { kCamera, kVideo };

    // A camera: an index ("0"), a device path or a stream's address; a video: a file path.
    // `settings` says where the hand models are and which of them run.
    CameraSource(Kind kind, std::string device, bool loop, CameraSettings settings = {});
    ~CameraSource() override;

    bool next(SourceEvent& event) override;
    // Returns at once; next() then returns within kStuckCaptureMs whatever the camera does.
    void stop() override;
    void recalibrate() override { fRecalibrate = true; }
    std::shared_ptr<CameraView> cameraView() const override { return fView; }

    // Images the capture thread replaced before they were tracked.
    std::int64_t droppedImages() const;

    // How long a stop waits for the capture thread before leaving it inside the backend that
    // holds it (a stream that stalls), milliseconds.
    static constexpr int kStuckCaptureMs = 200;

private:
    // Loads the models and starts the capture thread; without models, one line and no thread.
    void start();
    // Joins the capture thread, or leaves it if it does not end within kStuckCaptureMs.
    void finishCapture();
    // Makes `event` a status event if the view's status is not the one told last.
    bool tellStatus(SourceEvent& event);
    // Hands fWorking and the hands found on it to the view, and what the tracker now waits for.
    void show(const Frame& frame, std::int64_t captureMicros);

    // Controller thread only.
    std::unique_ptr<CameraTracker> fTracker;
    bool fStarted = false;
    bool fTrackingFailed = false;
    cv::Mat fWorking;
    LightMeter fLight;
    CameraView::Status fTold;
    bool fToldAny = false;
    std::thread fCaptureThread;
    const CameraSettings fSettings;

    std::atomic<bool> fRecalibrate{false}; // asked from any thread, done on the controller's
    const std::shared_ptr<CameraCapture> fCapture; // what the capture thread uses, shared with it
    const std::shared_ptr<CameraView> fView = std::make_shared<CameraView>();
};

} // namespace Leap
