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
    fReader.reset();
    for (int fd : {fStopPipe[0], fStopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

void ReplaySource::report(const std::string& what) const
{
    reportToStandardError("replay " + fPath + ": " + what);
}

void ReplaySource::reportLine(const std::string& what) const
{
    if (fPass == 0)
        reportToStandardError("replay " + fPath + ":" + std::to_string(fReader->lineNumber()) +
                              ": " + what);
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
    fReader = std::make_unique<RecordingReader>(file, fStopPipe[0]);
    return true;
}

void ReplaySource::rewind()
{
    // A pipe cannot go back: its second pass finds the end at once and stops there.
    fReader->rewind();
    ++fPass;
    fPassHadFrame = false;
    fPassRestarted = true;
}

bool ReplaySource::waitForLine()
{
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t clock = fReader->clockMicros();
    if (!fHaveTiming) {
        fHaveTiming = true;
        fDeadline = now;
    } else {
        // Nothing on the reader's clock from the end of a pass to the top of the next.
        fDeadline += std::chrono::microseconds(clock - fScheduledClock);
        if (fPassRestarted)
            fDeadline += kLoopPause;
    }
    // A timestamp that goes backwards plays at once.
    if (fDeadline < now - kMaxLag)
        fDeadline = now;
    fPassRestarted = false;
    fScheduledClock = clock;
    return fStop.sleepUntil(fDeadline);
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

    ParsedMessage message;
    for (;;) {
        if (fStop.stopped())
            return false;
        const RecordingReader::Read read = fReader->next(message);
        if (read == RecordingReader::Read::kStopped)
            return false;
        if (read == RecordingReader::Read::kEnd) {
            if (!fReader->failure().empty())
                report(fReader->failure());
            if (fLoop && fPassHadFrame) {
                rewind();
                continue;
            }
            if (fLoop)
                report("no frames to play; not looping");
            fDone = true;
            event.kind = SourceEvent::kDisconnect;
            return true;
        }
        if (read == RecordingReader::Read::kTooLong) {
            reportLine("line too long (" + std::to_string(fReader->lineBytes()) +
                       " bytes, at most " + std::to_string(kMaxMessageBytes) + ")");
            continue;
        }
        switch (message.kind) {
        case ParsedMessage::kError:
            reportLine(message.error);
            continue;
        case ParsedMessage::kOther:
            continue;
        case ParsedMessage::kForeign:
            if (message.timed && !waitForLine())
                return false;
            event.kind = SourceEvent::kMessage;
            event.message = std::move(message.text);
            event.object = std::move(message.object);
            return true;
        case ParsedMessage::kDeviceEvent:
            event.kind = message.streaming ? SourceEvent::kConnect : SourceEvent::kDisconnect;
            return true;
        case ParsedMessage::kFrame:
            fPassHadFrame = true;
            if (!waitForLine())
                return false;
            event.kind = SourceEvent::kFrame;
            event.frame = std::move(message.frame);
            return true;
        }
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
