#include "CameraSource.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <utility>

#include <opencv2/core/utils/logger.hpp>

#include "InstalledFiles.h"
#include "ModelSetUp.h"

namespace Leap {

namespace {

const char kModelVariable[] = "QUORVEL_CAMERA_MODEL";
const char kRuntimeVariable[] = "QUORVEL_CAMERA_RUNTIME";
constexpr auto kRetryInterval = std::chrono::seconds(1);

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

CameraSource::CameraSource(Kind kind, std::string device, bool loop)
    : fKind(kind), fDevice(std::move(device)), fLoop(loop)
{
}

CameraSource::~CameraSource()
{
    stop();
    if (fCaptureThread.joinable())
        fCaptureThread.join();
}

void CameraSource::report(const std::string& what) const
{
    const std::string name = fKind == Kind::kVideo ? "video " : "camera ";
    std::cerr << (name + fDevice + ": " + what + "\n") << std::flush;
}

bool CameraSource::open()
{
    if (fKind == Kind::kVideo) {
        fCapture.open(fDevice, cv::CAP_ANY);
        if (!fCapture.isOpened())
            return false;
        const double rate = fCapture.get(cv::CAP_PROP_FPS);
        fFramesPerSecond = rate > 0.0 && rate <= 240.0 ? rate : 30.0;
        return true;
    }
    if (!isV4l2(fDevice)) {
        // A stream: taken as it comes, in its own size and rate.
        fCapture.open(fDevice, cv::CAP_FFMPEG);
        return fCapture.isOpened();
    }
    if (isIndex(fDevice))
        fCapture.open(std::stoi(fDevice), cv::CAP_V4L2);
    else
        fCapture.open(fDevice, cv::CAP_V4L2);
    if (!fCapture.isOpened())
        return false;
    // MJPG keeps 640x480 at the camera's full rate over USB 2; ask for 60, take what it gives.
    fCapture.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    fCapture.set(cv::CAP_PROP_FRAME_WIDTH, 640);
    fCapture.set(cv::CAP_PROP_FRAME_HEIGHT, 480);
    fCapture.set(cv::CAP_PROP_FPS, 60);
    fCapture.set(cv::CAP_PROP_BUFFERSIZE, 1);
    return true;
}

bool CameraSource::start()
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
        report("hand models not set up yet: setting them up now, once (a few minutes).");
        auto stopped = [this] {
            std::lock_guard<std::mutex> guard(fLock);
            return fStopped;
        };
        if (runModelSetUp(stopped, std::cerr))
            makeTracker();
    }
    if (!fTracker) {
        const std::string install =
            missing.empty() ? ""
                            : "install " + missing + " (sudo apt install " + missing + "), then ";
        report("hand models not usable (" + why + "); " + install + "run " + modelSetUpCommand() +
               " to set them up. Tracking is off.");
        return false;
    }
    if (runtime == InferenceRuntime::kAutomatic &&
        resolveRuntime(dir, runtime) == InferenceRuntime::kOpenCv)
        report(std::string("ONNX Runtime is not set up, so the hand models run on OpenCV at about "
                           "five times the CPU; run ") +
               modelSetUpCommand() + " to set it up.");
    if (!open()) {
        if (fKind == Kind::kCamera) {
            report("cannot open this camera. Tracking is off.");
        } else {
            std::error_code error;
            if (!std::filesystem::exists(fDevice, error))
                report(std::string("cannot open: ") + std::strerror(ENOENT));
            else
                report("cannot read: not a video that can be decoded");
        }
        return false;
    }
    fCaptureThread = std::thread(&CameraSource::capture, this);
    return true;
}

bool CameraSource::waitFor(std::chrono::steady_clock::duration interval)
{
    std::unique_lock<std::mutex> guard(fLock);
    return !fWake.wait_for(guard, interval, [this] { return fStopped; });
}

void CameraSource::post(SourceEvent::Kind status)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fStatus.empty())
            fImageFirst = fFresh;
        fStatus.push_back(status);
    }
    fWake.notify_all();
}

void CameraSource::capture()
{
    const auto framePeriod = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / fFramesPerSecond));
    auto deadline = std::chrono::steady_clock::now();
    bool connected = true;
    bool hadImage = false;
    cv::Mat image;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(fLock);
            if (fStopped)
                return;
        }
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
            grabbed = fCapture.grab();
            micros = nowMicros();
            grabbed = grabbed && fCapture.retrieve(image) && !image.empty();
        } catch (const cv::Exception&) {
            grabbed = false; // a backend that throws instead of failing: the same as a lost image
        }
        if (!grabbed) {
            if (fKind == Kind::kVideo) {
                if (fLoop && hadImage && fCapture.set(cv::CAP_PROP_POS_FRAMES, 0)) {
                    hadImage = false;
                    continue;
                }
                post(SourceEvent::kDisconnect);
                return;
            }
            fCapture.release();
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

bool CameraSource::next(SourceEvent& event)
{
    if (!fStarted) {
        fStarted = true;
        fOff = !start();
        if (!fOff) {
            event.kind = SourceEvent::kConnect;
            return true;
        }
    }
    std::int64_t micros = 0;
    {
        std::unique_lock<std::mutex> guard(fLock);
        fWake.wait(guard, [this] { return fStopped || (!fOff && (!fStatus.empty() || fFresh)); });
        if (fStopped) {
            // Joined here, on the controller's thread, so that once the controller has stopped
            // (also at process exit, which does not destroy the source) no capture runs.
            guard.unlock();
            if (fCaptureThread.joinable())
                fCaptureThread.join();
            return false;
        }
        if (!fStatus.empty() && !(fFresh && fImageFirst)) {
            event.kind = fStatus.front();
            fStatus.pop_front();
            return true;
        }
        cv::swap(fSlot, fWorking);
        micros = fSlotMicros;
        fFresh = false;
        fImageFirst = false;
    }
    event.kind = SourceEvent::kFrame;
    if (fRecalibrate.exchange(false))
        fTracker->recalibrate();
    try {
        event.frame = fTracker->process(fWorking, micros);
    } catch (const std::exception& error) {
        // A failing model must not stop the instrument: frames go on, without hands.
        if (!fTrackingFailed)
            report(std::string("hand tracking failed (") + error.what() +
                   "); frames go on without hands");
        fTrackingFailed = true;
        event.frame = Frame(0, micros, {});
    }
    return true;
}

void CameraSource::stop()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStopped = true;
    }
    fWake.notify_all();
}

} // namespace Leap
