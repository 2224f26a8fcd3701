#include "tracking/recording/ReplaySource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "tracking/FrameParser.h"
#include "tracking/ReportSink.h"

namespace Leap {

namespace {

// The pause between the end of a looped recording and its first frame again.
constexpr std::chrono::milliseconds kLoopPause(10);
// Further behind schedule than this (a slow listener, a paused process), go on from now.
constexpr std::chrono::milliseconds kMaxLag(100);

} // namespace

ReplaySource::ReplaySource(std::string path, bool loop) : fPath(std::move(path)), fLoop(loop)
{
    if (::pipe2(fStopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        fStopPipe[0] = fStopPipe[1] = -1;
}

ReplaySource::~ReplaySource()
{
    fLines.reset();
    for (int fd : {fStopPipe[0], fStopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

void ReplaySource::report(const std::string& what) const
{
    reportToStandardError("replay " + fPath + ": " + what);
}

bool ReplaySource::open()
{
    fOpened = true;
    std::error_code error;
    if (std::filesystem::is_directory(fPath, error)) {
        report("cannot read: is a directory");
        return false;
    }
    if (fStopPipe[0] < 0) {
        report("cannot read: no pipe to wake the reader");
        return false;
    }
    // Non-blocking: opening a FIFO that has no writer yet must not wait.
    const int file = ::open(fPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        report(std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    fLines = std::make_unique<RecordingLoop>(file, fStopPipe[0], "replay " + fPath,
                                             reportToStandardError);
    return true;
}

bool ReplaySource::reach(std::int64_t clockMicros)
{
    const auto now = std::chrono::steady_clock::now();
    if (!fHaveTiming) {
        fHaveTiming = true;
        fDeadline = now;
    } else {
        // Nothing on the recording's clock from the end of a pass to the top of the next.
        fDeadline += std::chrono::microseconds(clockMicros - fScheduledClock);
        if (fPassRestarted)
            fDeadline += kLoopPause;
    }
    // A timestamp that goes backwards plays at once.
    if (fDeadline < now - kMaxLag)
        fDeadline = now;
    fPassRestarted = false;
    fScheduledClock = clockMicros;
    return fStop.sleepUntil(fDeadline);
}

bool ReplaySource::frame(Frame& frame)
{
    fEvent->kind = SourceEvent::kFrame;
    fEvent->frame = std::move(frame);
    return false;
}

bool ReplaySource::foreign(ParsedMessage& message)
{
    fEvent->kind = SourceEvent::kMessage;
    fEvent->message = std::move(message.text);
    fEvent->object = std::move(message.object);
    return false;
}

bool ReplaySource::device(bool streaming)
{
    fEvent->kind = streaming ? SourceEvent::kConnect : SourceEvent::kDisconnect;
    return false;
}

std::string ReplaySource::skipped(const std::string& error, std::size_t bytes) const
{
    if (bytes == 0)
        return error;
    return "line too long (" + std::to_string(bytes) + " bytes, at most " +
           std::to_string(kMaxMessageBytes) + ")";
}

bool ReplaySource::next(SourceEvent& event)
{
    if (fStop.stopped())
        return false;
    if (!fOpened && !open())
        fDone = true;
    if (fDone) {
        fStop.waitForStop();
        return false;
    }
    fEvent = &event;
    for (;;) {
        if (fStop.stopped())
            return false;
        const RecordingLoop::Played played = fLines->play(*this);
        if (played == RecordingLoop::Played::kPaused)
            return !fStop.stopped(); // a line handed out, unless a wait was stopped
        if (played == RecordingLoop::Played::kStopped)
            return false;
        if (fLoop && fLines->passFrames() > 0) {
            fLines->rewind();
            fPassRestarted = true;
            continue;
        }
        if (fLoop)
            fLines->report("no frames to play; not looping");
        fDone = true;
        event.kind = SourceEvent::kDisconnect;
        return true;
    }
}

void ReplaySource::stop()
{
    fStop.stop();
    if (fStopPipe[1] >= 0) {
        const char wake = 1;
        // A full pipe already wakes the reader.
        (void)!::write(fStopPipe[1], &wake, 1);
    }
}

} // namespace Leap
