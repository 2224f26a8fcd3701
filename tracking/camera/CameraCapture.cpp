#include "tracking/camera/CameraCapture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tracking/ReportSink.h"

namespace Leap {

namespace {

constexpr auto kRetryInterval = std::chrono::seconds(1);
// A stream's backend gives up on an address that does not answer, or stops sending, after these
// (milliseconds).
constexpr int kStreamOpenTimeoutMs = 5000;
constexpr int kStreamReadTimeoutMs = 2000;
// How often a wait for a pipe's writer looks for a stop, milliseconds.
constexpr int kPipePollMs = 100;
// How long a pipe's first data waits for its writer's hang-up, milliseconds.
constexpr int kPipeSettleMs = 20;

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

} // namespace

void CameraCapture::report(const std::string& what) const
{
    const std::string name = fKind == Kind::kVideo ? "video " : "camera ";
    reportToStandardError(name + fDevice + ": " + what);
}

bool CameraCapture::waitForWriter(int& held, std::string& source)
{
    held = -1;
    source = fDevice;
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
        if (ready > 0 && (pipe.revents & POLLIN) != 0) {
            // A writer that has already gone (a short stream's hang-up follows its data at once)
            // left its whole stream in the pipe, where the backend's open would wait for the
            // next writer: it reads a copy instead.
            std::this_thread::sleep_for(std::chrono::milliseconds(kPipeSettleMs));
            pipe.revents = 0;
            if (::poll(&pipe, 1, 0) > 0 && (pipe.revents & POLLHUP) != 0)
                keepWhatIsWritten(held, source);
            return true;
        }
        if (ready > 0 && (pipe.revents & POLLHUP) != 0) {
            // A writer came and went: open anew to wait for the next (and clear the hang-up).
            ::close(held);
            held = -1;
        }
    }
}

void CameraCapture::keepWhatIsWritten(int& held, std::string& source) const
{
    const int copy = ::memfd_create("quorvel-stream", MFD_CLOEXEC);
    if (copy < 0)
        return;
    char chunk[65536];
    for (ssize_t got; (got = ::read(held, chunk, sizeof chunk)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break; // a new writer came: its part is left to the backend
        if (got < 0 || ::write(copy, chunk, static_cast<std::size_t>(got)) != got) {
            ::close(copy);
            return; // the backend takes what the pipe still has
        }
    }
    ::close(held);
    held = copy;
    source = "/proc/self/fd/" + std::to_string(copy);
}

bool CameraCapture::open()
{
    if (!isV4l2(fDevice)) {
        int held = -1;
        std::string source;
        if (!waitForWriter(held, source))
            return false;
        if (fKind == Kind::kVideo) {
            fVideo.open(source, cv::CAP_ANY);
            const double rate = fVideo.isOpened() ? fVideo.get(cv::CAP_PROP_FPS) : 0.0;
            fFramesPerSecond = rate > 0.0 && rate <= 240.0 ? rate : 30.0;
        } else {
            // A stream: taken as it comes, in its own size and rate. Short timeouts: an address
            // that does not answer, or stops sending, counts as lost instead of holding on.
            fVideo.open(source, cv::CAP_FFMPEG,
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

void CameraCapture::reportOpenFailure() const
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

bool CameraCapture::waitFor(std::chrono::steady_clock::duration interval)
{
    std::unique_lock<std::mutex> guard(fLock);
    return !fWake.wait_for(guard, interval, [this] { return fStopped; });
}

bool CameraCapture::stopping()
{
    std::lock_guard<std::mutex> guard(fLock);
    return fStopped;
}

void CameraCapture::post(SourceEvent::Kind status)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fStatus.empty())
            fImageFirst = fFresh;
        fStatus.push_back(status);
    }
    fWake.notify_all();
}

void CameraCapture::run()
{
    struct Finished {
        CameraCapture& capture;
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

} // namespace Leap
