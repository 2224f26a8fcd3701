#include "tracking/recording/RecordingSource.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace Leap {

namespace {

// How long the writer waits on a full pipe before looking at the clock again, milliseconds.
constexpr int kPollMs = 50;

} // namespace

std::string replayLine(const SourceEvent& event)
{
    using json = nlohmann::json;
    if (event.kind != SourceEvent::kFrame) {
        const bool streaming = event.kind == SourceEvent::kConnect;
        json state = {{"attached", true}, {"streaming", streaming}};
        return json{{"event", {{"type", "deviceEvent"}, {"state", state}}}}.dump();
    }
    json hands = json::array();
    json pointables = json::array();
    for (const Hand& hand : event.frame.hands()) {
        hands.push_back({{"id", hand.id()}});
        for (const Finger& finger : hand.fingers()) {
            const Vector& tip = finger.tip().position;
            pointables.push_back({{"id", finger.id()},
                                  {"handId", hand.id()},
                                  {"tipPosition", {tip.x, tip.y, tip.z}}});
        }
    }
    // Doubles are written with enough digits to read back exactly.
    return json{{"id", event.frame.id()},
                {"timestamp", event.frame.timestamp()},
                {"hands", std::move(hands)},
                {"pointables", std::move(pointables)}}
        .dump();
}

std::unique_ptr<FrameSource> recordedIfAsked(std::unique_ptr<FrameSource> source, const char* path)
{
    if (!path || !*path)
        return source;
    return std::make_unique<RecordingSource>(std::move(source), path);
}

RecordingSource::RecordingSource(std::unique_ptr<FrameSource> source, std::string path,
                                 ReportSink report)
    : fSource(std::move(source)), fPath(std::move(path)), fReport(std::move(report))
{
    fWriter = std::thread(&RecordingSource::writeLoop, this);
}

RecordingSource::~RecordingSource()
{
    stop();
}

bool RecordingSource::next(SourceEvent& event)
{
    if (!fSource || !fSource->next(event))
        return false;
    record(event);
    return true;
}

void RecordingSource::handled()
{
    if (fSource)
        fSource->handled();
}

void RecordingSource::recalibrate()
{
    if (fSource)
        fSource->recalibrate();
}

std::shared_ptr<CameraView> RecordingSource::cameraView() const
{
    return fSource ? fSource->cameraView() : nullptr;
}

void RecordingSource::record(const SourceEvent& event)
{
    // Lines handed on from a replay are the program's to record again, as it sees fit.
    if (event.kind == SourceEvent::kMessage || event.kind == SourceEvent::kStatus ||
        fFailed.load(std::memory_order_relaxed))
        return;
    if (event.kind == SourceEvent::kFrame) {
        std::lock_guard<std::mutex> guard(fLock);
        fHaveFrame = true;
        fLastTimestamp = event.frame.timestamp();
    }
    append(replayLine(event));
}

void RecordingSource::annotate(const std::string& message)
{
    using json = nlohmann::json;
    if (fSource)
        fSource->annotate(message);
    if (fFailed.load(std::memory_order_relaxed))
        return;
    json object = json::parse(message, nullptr, false);
    if (!object.is_object())
        return;
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fHaveFrame)
            object["timestamp"] = fLastTimestamp;
    }
    append(object.dump());
}

void RecordingSource::append(std::string line)
{
    line += '\n';
    bool reportDrop = false;
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fClosing || fFailed.load(std::memory_order_relaxed))
            return;
        if (fPending.size() + line.size() > kMaxPendingBytes) {
            reportDrop = !fDropReported;
            fDropReported = true;
        } else {
            fPending += line;
        }
    }
    if (reportDrop && fReport)
        fReport("tracking: recording to " + fPath +
                " falls behind the tracker; some frames are missing from it");
    fWake.notify_one();
}

void RecordingSource::stop()
{
    std::lock_guard<std::mutex> stopGuard(fStopLock);
    if (fSource)
        fSource->stop();
    {
        std::lock_guard<std::mutex> guard(fLock);
        if (fClosing)
            return;
        fClosing = true;
        fDrainDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    }
    fWake.notify_all();
    if (fWriter.joinable() && fWriter.get_id() != std::this_thread::get_id())
        fWriter.join();
}

void RecordingSource::fail(const std::string& line)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fFailed.store(true, std::memory_order_relaxed);
        fPending.clear();
        fPending.shrink_to_fit();
    }
    if (fReport)
        fReport(line);
}

bool RecordingSource::pastDrainDeadline()
{
    std::lock_guard<std::mutex> guard(fLock);
    return fClosing && std::chrono::steady_clock::now() >= fDrainDeadline;
}

void RecordingSource::writeLoop()
{
    // A pipe whose reader has gone must fail the write (EPIPE), not end the program.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

    const int fd = openFresh();
    if (fd < 0) {
        fail("tracking: cannot record to " + fPath + " (" + std::strerror(errno) +
             "); playing without recording");
        return;
    }
    std::string chunk;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(fLock);
            fWake.wait(lock, [this] { return fClosing || !fPending.empty(); });
            if (fPending.empty())
                break; // closing, and everything is written
            chunk.clear();
            chunk.swap(fPending);
        }
        if (!writeAll(fd, chunk))
            break;
    }
    if (::close(fd) != 0 && !fFailed.load())
        fail("tracking: recording to " + fPath + " may be incomplete (" + std::strerror(errno) +
             ")");
}

int RecordingSource::openFresh()
{
    // Non-blocking, so that a pipe nobody reads cannot hold up stop(); regular files ignore it.
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(fPath.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    struct stat existing {};
    if (::stat(fPath.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return ::open(fPath.c_str(), kFlags); // a pipe or a device takes the lines as they come
    // take.jsonl -> take-2.jsonl: the number goes before an extension of the file's own name.
    const std::size_t slash = fPath.rfind('/');
    std::size_t dot = fPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        dot = fPath.size();
    constexpr int kMaxNumber = 9999;
    for (int number = 2; number <= kMaxNumber; ++number) {
        const std::string candidate =
            fPath.substr(0, dot) + "-" + std::to_string(number) + fPath.substr(dot);
        fd = ::open(candidate.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            if (fReport)
                fReport("tracking: " + fPath + " holds an earlier recording; recording to " +
                        candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool RecordingSource::writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (pastDrainDeadline()) {
                fail("tracking: recording to " + fPath +
                     " stopped before its end: the file "
                     "takes no more data");
                return false;
            }
            pollfd waitForRoom{fd, POLLOUT, 0};
            ::poll(&waitForRoom, 1, kPollMs);
            continue;
        }
        const std::string reason = written < 0 ? std::strerror(errno) : "nothing written";
        fail("tracking: recording to " + fPath + " stopped (" + reason + "); playing goes on");
        return false;
    }
    return true;
}

} // namespace Leap
