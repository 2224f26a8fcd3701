#include "tracking/camera/CameraSource.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>

#include "tracking/InstalledFiles.h"
#include "tracking/camera/CameraCapture.h"
#include "tracking/camera/CameraStatus.h"
#include "tracking/camera/ModelSetUp.h"

namespace Leap {

std::string cameraModelDir(const char* modelDir, const char* xdgCacheHome, const char* home)
{
    if (modelDir && *modelDir)
        return modelDir;
    if (xdgCacheHome && *xdgCacheHome)
        return std::string(xdgCacheHome) + "/quorvel/models";
    return std::string(home && *home ? home : ".") + "/.cache/quorvel/models";
}

CameraSource::CameraSource(Kind kind, std::string device, bool loop, CameraSettings settings)
    : fSettings(std::move(settings)),
      fCapture(std::make_shared<CameraCapture>(kind, std::move(device), loop))
{
}

CameraSource::~CameraSource()
{
    stop();
    finishCapture();
}

std::int64_t CameraSource::droppedImages() const
{
    return fCapture->fDropped.load();
}

void CameraSource::start()
{
    // OpenCV's own warnings would bury our one line about a missing camera.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // One thread for the models: the other core belongs to the sound.
    cv::setNumThreads(1);
    const std::string& dir = fSettings.modelDir;
    const InferenceRuntime runtime = fSettings.runtime;
    const std::string& variant = fSettings.variant;
    std::string why;
    auto makeTracker = [&] {
        try {
            fTracker = std::make_unique<CameraTracker>(dir, variant, true, runtime);
        } catch (const std::exception& error) {
            why = error.what();
        }
        return fTracker != nullptr;
    };
    const bool made = makeTracker();
    const std::string missing = made ? "" : missingSetUpPackages(fSettings.searchPath);
    // Installed, the program sets its models up itself: started from the menu there is no
    // terminal to run the set-up in (a checkout's scripts/run.sh runs it before starting).
    if (!made && !installedDataDir().empty() && missing.empty()) {
        fCapture->report("hand models not set up yet: setting them up now, once (a few minutes).");
        // Tried again even after a failed set-up: the models may be there, on OpenCV.
        runModelSetUp([capture = fCapture] { return capture->stopping(); }, std::cerr);
        if (!fCapture->stopping())
            makeTracker();
    }
    if (!fTracker) {
        const std::string install =
            missing.empty() ? ""
                            : "install " + missing + " (sudo apt install --no-install-recommends " +
                                  missing + "), then ";
        fCapture->report("hand models not usable (" + why + "); " + install + "run " +
                         modelSetUpCommand() + " to set them up. Tracking is off.");
        fView->setStatus({CameraView::State::kNoModels});
        return;
    }
    if (const std::string note = runtimeNote(dir, runtime); !note.empty())
        fCapture->report(note);
    fCaptureThread = std::thread([capture = fCapture] { capture->run(); });
}

void CameraSource::finishCapture()
{
    if (!fCaptureThread.joinable())
        return;
    bool finished = false;
    {
        std::unique_lock<std::mutex> guard(fCapture->fLock);
        finished = fCapture->fWake.wait_for(guard, std::chrono::milliseconds(kStuckCaptureMs),
                                            [this] { return fCapture->fFinished; });
    }
    if (finished)
        fCaptureThread.join();
    else
        fCaptureThread.detach(); // inside a backend that holds it; it ends when that gives up
}

bool CameraSource::tellStatus(SourceEvent& event)
{
    const CameraView::Status status = fView->status();
    if (fToldAny && status == fTold)
        return false;
    fToldAny = true;
    fTold = status;
    event.kind = SourceEvent::kStatus;
    return true;
}

void CameraSource::show(const Frame& frame, std::int64_t captureMicros)
{
    const bool dark = fLight.tooDark(fWorking);
    const CameraView::Status status =
        cameraStatus(fTrackingFailed, fTracker->space(), !frame.hands().empty(), dark,
                     static_cast<double>(captureMicros) * 1e-6);
    fView->setStatus(status);

    CameraView::Picture& picture = fView->back();
    cv::Mat target;
    if (fWorking.type() == CV_8UC3 || fWorking.type() == CV_8UC1) {
        picture.width = fWorking.cols;
        picture.height = fWorking.rows;
        picture.bgra.resize(static_cast<std::size_t>(picture.width) * picture.height * 4);
        target = cv::Mat(picture.height, picture.width, CV_8UC4, picture.bgra.data());
        cv::cvtColor(fWorking, target,
                     fWorking.type() == CV_8UC3 ? cv::COLOR_BGR2BGRA : cv::COLOR_GRAY2BGRA);
    } else {
        picture.width = picture.height = 0; // a kind of image no window can show: none
    }
    picture.mirrored = true;
    picture.handCount = 0;
    for (const HandTracker::Hand& hand : fTracker->hands()) {
        if (picture.handCount == CameraView::kMaxHands || fWorking.empty())
            break;
        CameraView::Landmarks& landmarks = picture.hands[picture.handCount++];
        for (int point = 0; point < CameraView::kLandmarks; ++point)
            landmarks[point] = {hand.points[point].x / fWorking.cols,
                                hand.points[point].y / fWorking.rows};
    }
    fView->publish();
}

bool CameraSource::next(SourceEvent& event)
{
    if (tellStatus(event))
        return true;
    if (!fStarted) {
        fStarted = true;
        start();
        if (tellStatus(event))
            return true;
    }
    CameraCapture& capture = *fCapture;
    std::int64_t micros = 0;
    {
        std::unique_lock<std::mutex> guard(capture.fLock);
        capture.fWake.wait(
            guard, [&] { return capture.fStopped || !capture.fStatus.empty() || capture.fFresh; });
        if (capture.fStopped) {
            // Ended here, on the controller's thread, so that once the controller has stopped
            // (also at process exit, which does not destroy the source) no capture runs, but
            // for one left stuck inside a backend.
            guard.unlock();
            finishCapture();
            return false;
        }
        if (!capture.fStatus.empty() && !(capture.fFresh && capture.fImageFirst)) {
            event.kind = capture.fStatus.front();
            capture.fStatus.pop_front();
            using State = CameraView::State;
            // Told as a status event by the next call.
            if (event.kind == SourceEvent::kConnect)
                fView->setStatus({State::kNoHand});
            else if (event.kind == SourceEvent::kDisconnect)
                fView->setStatus({capture.fKind == Kind::kVideo ? State::kEnded : State::kLost});
            else
                fView->setStatus({State::kNoCamera});
            if (event.kind == SourceEvent::kStatus)
                tellStatus(event);
            return true;
        }
        cv::swap(capture.fSlot, fWorking);
        micros = capture.fSlotMicros;
        capture.fFresh = false;
        capture.fImageFirst = false;
    }
    event.kind = SourceEvent::kFrame;
    if (fRecalibrate.exchange(false))
        fTracker->recalibrate();
    try {
        event.frame = fTracker->process(fWorking, micros);
    } catch (const std::exception& error) {
        // A failing model must not stop the instrument: frames go on, without hands.
        if (!fTrackingFailed)
            fCapture->report(std::string("hand tracking failed (") + error.what() +
                             "); frames go on without hands");
        fTrackingFailed = true;
        event.frame = Frame(0, micros, {});
    }
    show(event.frame, micros);
    return true;
}

void CameraSource::stop()
{
    {
        std::lock_guard<std::mutex> guard(fCapture->fLock);
        fCapture->fStopped = true;
    }
    fCapture->fWake.notify_all();
}

} // namespace Leap
