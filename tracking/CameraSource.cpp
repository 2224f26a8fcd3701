#include "CameraSource.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "InstalledFiles.h"
#include "ModelSetUp.h"
#include "ReportSink.h"

namespace Leap {

namespace {

const char kModelVariable[] = "QUORVEL_CAMERA_MODEL";
const char kRuntimeVariable[] = "QUORVEL_CAMERA_RUNTIME";
constexpr auto kRetryInterval = std::chrono::seconds(1);
// A stream's backend gives up on an address that does not answer, or stops sending, after these
// (milliseconds).
constexpr int kStreamOpenTimeoutMs = 5000;
constexpr int kStreamReadTimeoutMs = 2000;
// How often a wait for a pipe's writer looks for a stop, milliseconds.
constexpr int kPipePollMs = 100;

std::int64_t nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isIndex(const std::string& device)
{
    return !device.empty() && device.size() < 4 &&
           std::all_of(device.begin(), device.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A camera of this machine: its number or its device file. Anything else names a stream that
// another program or a network camera sends (a named pipe, an RTSP or HTTP address).
bool isV4l2(const std::string& device)
{
    return isIndex(device) || device.rfind("/dev/", 0) == 0;
}

std::string modelVariant()
{
    const char* value = std::getenv(kModelVariable);
    if (!value || !*value || std::string(value) == "lite")
        return "lite";
    if (std::string(value) == "full")
        return "full";
    std::cerr << (std::string(kModelVariable) + ": unknown value \"" + value +
                  "\"; accepted: lite, full. Using lite.\n")
              << std::flush;
    return "lite";
}

InferenceRuntime chosenRuntime()
{
    const char* value = std::getenv(kRuntimeVariable);
    if (!value || !*value)
        return InferenceRuntime::kAutomatic;
    if (std::string(value) == "onnxruntime")
        return InferenceRuntime::kOnnxRuntime;
    if (std::string(value) == "opencv")
        return InferenceRuntime::kOpenCv;
    std::cerr << (std::string(kRuntimeVariable) + ": unknown value \"" + value +
                  "\"; accepted: onnxruntime, opencv. Choosing by what is set up.\n")
              << std::flush;
    return InferenceRuntime::kAutomatic;
}

} // namespace

std::string cameraModelDir()
{
    if (const char* dir = std::getenv("QUORVEL_MODEL_DIR"); dir && *dir)
        return dir;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return std::string(cache) + "/quorvel/models";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/quorvel/models";
}

// Shared by the source and its capture thread; the thread keeps it alive while it runs.
struct CameraSource::Capture {
    Capture(Kind kind, std::string device, bool loop)
        : fKind(kind), fDevice(std::move(device)), fLoop(loop)
    {
    }

    // The capture thread: opens, then keeps the newest image in fSlot until stopped.
    void run();
    bool open();
    // For a named pipe: waits until a program writes to it, and gives in `held` a descriptor of
    // it to keep open while the backend opens it. False once stopped.
    bool waitForWriter(int& held);
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

CameraSource::CameraSource(Kind kind, std::string device, bool loop)
    : fCapture(std::make_shared<Capture>(kind, std::move(device), loop))
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

void CameraSource::Capture::report(const std::string& what) const
{
    const std::string name = fKind == Kind::kVideo ? "video " : "camera ";
    reportToStandardError(name + fDevice + ": " + what);
}

bool CameraSource::Capture::waitForWriter(int& held)
{
    held = -1;
    struct stat file = {};
    if (::stat(fDevice.c_str(), &file) != 0 || !S_ISFIFO(file.st_mode))
        return true;
    // The backend opens a pipe with a blocking open that returns only once a writer comes, and
    // no stop can end it: wait for the writer's first bytes here instead, reading nothing.
    for (;;) {
        if (held < 0)
            held = ::open(fDevice.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (held < 0)
            return true; // the backend fails on it and says why
        pollfd pipe = {held, POLLIN, 0};
        const int ready = ::poll(&pipe, 1, kPipePollMs);
        if (stopping()) {
            ::close(held);
            held = -1;
            return false;
        }
        if (ready > 0 && (pipe.revents & POLLHUP) != 0) {
            // A writer came and went: open anew to wait for the next (and clear the hang-up).
            ::close(held);
            held = -1;
        } else if (ready > 0 && (pipe.revents & POLLIN) != 0) {
            return true;
        }
    }
}

bool CameraSource::Capture::open()
{
    if (!isV4l2(fDevice)) {
        int held = -1;
        if (!waitForWriter(held))
            return false;
        if (fKind == Kind::kVideo) {
            fVideo.open(fDevice, cv::CAP_ANY);
            const double rate = fVideo.isOpened() ? fVideo.get(cv::CAP_PROP_FPS) : 0.0;
            fFramesPerSecond = rate > 0.0 && rate <= 240.0 ? rate : 30.0;
        } else {
            // A stream: taken as it comes, in its own size and rate. Short timeouts: an address
            // that does not answer, or stops sending, counts as lost instead of holding on.
            fVideo.open(fDevice, cv::CAP_FFMPEG,
                        {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kStreamOpenTimeoutMs,
                         cv::CAP_PROP_READ_TIMEOUT_MSEC, kStreamReadTimeoutMs});
        }
        if (held >= 0)
            ::close(held);
        return fVideo.isOpened();
    }
    if (isIndex(fDevice))
        fVideo.open(std::stoi(fDevice), cv::CAP_V4L2);
    else
        fVideo.open(fDevice, cv::CAP_V4L2);
    if (!fVideo.isOpened())
        return false;
    // MJPG keeps 640x480 at the camera's full rate over USB 2; ask for 60, take what it gives.
    fVideo.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    fVideo.set(cv::CAP_PROP_FRAME_WIDTH, 640);
    fVideo.set(cv::CAP_PROP_FRAME_HEIGHT, 480);
    fVideo.set(cv::CAP_PROP_FPS, 60);
    fVideo.set(cv::CAP_PROP_BUFFERSIZE, 1);
    return true;
}

void CameraSource::Capture::reportOpenFailure() const
{
    if (fKind == Kind::kCamera) {
        report("cannot open this camera. Tracking is off.");
        return;
    }
    std::error_code error;
    if (!std::filesystem::exists(fDevice, error))
        report(std::string("cannot open: ") + std::strerror(ENOENT));
    else
        report("cannot read: not a video that can be decoded");
}

void CameraSource::start()
{
    // OpenCV's own warnings would bury our one line about a missing camera.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // One thread for the models: the other core belongs to the sound.
    cv::setNumThreads(1);
    const std::string dir = cameraModelDir();
    const InferenceRuntime runtime = chosenRuntime();
    const std::string variant = modelVariant();
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
    const std::string missing = made ? "" : missingSetUpPackages();
    // Installed, the program sets its models up itself: started from the menu there is no
    // terminal to run the set-up in (a checkout's scripts/run.sh runs it before starting).
    if (!made && !installedDataDir().empty() && missing.empty()) {
        fCapture->report("hand models not set up yet: setting them up now, once (a few minutes).");
        if (runModelSetUp([capture = fCapture] { return capture->stopping(); }, std::cerr))
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

bool CameraSource::Capture::waitFor(std::chrono::steady_clock::duration interval)
{
    std::unique_lock<std::mutex> guard(fLock);
    return !fWake.wait_for(guard, interval, [this] { return fStopped; });
}

bool CameraSource::Capture::stopping()
{
    std::lock_guard<std::mutex> guard(fLock);
    return fStopped;
}

void CameraSource::Capture::post(SourceEvent::Kind status)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fStatus.empty())
            fImageFirst = fFresh;
        fStatus.push_back(status);
    }
    fWake.notify_all();
}

void CameraSource::Capture::run()
{
    struct Finished {
        Capture& capture;
        ~Finished()
        {
            {
                std::lock_guard<std::mutex> guard(capture.fLock);
                capture.fFinished = true;
            }
            capture.fWake.notify_all();
        }
    } finished{*this};

    if (!open()) {
        // No camera: one line, and tracking stays off.
        if (!stopping()) {
            reportOpenFailure();
            post(SourceEvent::kStatus);
        }
        return;
    }
    post(SourceEvent::kConnect);
    const auto framePeriod = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / fFramesPerSecond));
    auto deadline = std::chrono::steady_clock::now();
    bool connected = true;
    bool hadImage = false;
    cv::Mat image;
    for (;;) {
        if (stopping())
            return;
        if (!connected) {
            if (!waitFor(kRetryInterval))
                return;
            if (open()) {
                connected = true;
                post(SourceEvent::kConnect);
            }
            continue;
        }
        if (fKind == Kind::kVideo) {
            // A file plays at its own rate; far behind (a stall), go on from now.
            deadline += framePeriod;
            const auto now = std::chrono::steady_clock::now();
            if (deadline < now - std::chrono::milliseconds(100))
                deadline = now;
            if (!waitFor(deadline - now))
                return;
        }
        bool grabbed = false;
        std::int64_t micros = 0;
        try {
            grabbed = fVideo.grab();
            micros = nowMicros();
            grabbed = grabbed && fVideo.retrieve(image) && !image.empty();
        } catch (const cv::Exception&) {
            grabbed = false; // a backend that throws instead of failing: the same as a lost image
        }
        if (!grabbed) {
            if (fKind == Kind::kVideo) {
                if (fLoop && hadImage && fVideo.set(cv::CAP_PROP_POS_FRAMES, 0)) {
                    hadImage = false;
                    continue;
                }
                post(SourceEvent::kDisconnect);
                return;
            }
            fVideo.release();
            connected = false;
            post(SourceEvent::kDisconnect);
            continue;
        }
        hadImage = true;
        {
            std::lock_guard<std::mutex> guard(fLock);
            if (fFresh)
                ++fDropped;
            fImageFirst = false; // taken after every status still to be told
            cv::swap(fSlot, image);
            fSlotMicros = micros;
            fFresh = true;
        }
        fWake.notify_all();
    }
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
    using State = CameraView::State;
    CameraView::Status status{State::kNoHand};
    const HandSpace& space = fTracker->space();
    const bool dark = fLight.tooDark(fWorking);
    if (fTrackingFailed)
        status.state = State::kFailed;
    else if (space.isCalibrated())
        status.state = State::kReady; // kept a moment after the hand goes
    else if (!frame.hands().empty())
        status = {State::kHoldStill,
                  static_cast<int>(std::ceil(
                      10.0 * space.stillSecondsLeft(static_cast<double>(captureMicros) * 1e-6)))};
    else if (dark)
        status.state = State::kTooDark;
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
    Capture& capture = *fCapture;
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
