#include "ReplaySource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "FrameParser.h"

namespace Leap {

namespace {

// The pause between the end of a looped recording and its first frame again.
constexpr std::chrono::milliseconds kLoopPause(10);
// Further behind schedule than this (a slow listener, a paused process), go on from now.
constexpr std::chrono::milliseconds kMaxLag(100);

bool isBlank(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

} // namespace

ReplaySource::ReplaySource(std::string path, bool loop) : fPath(std::move(path)), fLoop(loop)
{
    if (::pipe2(fStopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        fStopPipe[0] = fStopPipe[1] = -1;
}

ReplaySource::~ReplaySource()
{
    for (int fd : {fFile, fStopPipe[0], fStopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

void ReplaySource::report(const std::string& what) const
{
    std::cerr << ("replay " + fPath + ": " + what + "\n") << std::flush;
}

void ReplaySource::reportLine(const std::string& what) const
{
    if (fPass == 0)
        std::cerr << ("replay " + fPath + ":" + std::to_string(fLineNumber) + ": " + what + "\n")
                  << std::flush;
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
    fFile = ::open(fPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fFile < 0) {
        report(std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    return true;
}

void ReplaySource::rewind()
{
    // A pipe cannot go back: its second pass finds the end at once and stops there.
    if (::lseek(fFile, 0, SEEK_SET) == 0) {
        fBuffer.clear();
        fBufferStart = 0;
        fAtEnd = false;
    }
    fLineNumber = 0;
    ++fPass;
    fPassHadFrame = false;
    fPassRestarted = true;
}

ReplaySource::Fill ReplaySource::fill()
{
    constexpr std::size_t kChunkBytes = 64 * 1024;
    if (fAtEnd)
        return Fill::kEnd;
    if (fBufferStart > 0) {
        fBuffer.erase(0, fBufferStart);
        fBufferStart = 0;
    }
    for (;;) {
        // Only read once the file says there is something: a FIFO that no writer has opened yet
        // reads as its end, but polls as nothing to read.
        pollfd waits[2] = {{fFile, POLLIN, 0}, {fStopPipe[0], POLLIN, 0}};
        const int ready = ::poll(waits, 2, -1);
        if (ready < 0 && errno != EINTR) {
            report(std::string("cannot read: ") + std::strerror(errno));
            fAtEnd = true;
            return Fill::kEnd;
        }
        if (ready <= 0)
            continue;
        if (waits[1].revents != 0)
            return Fill::kStopped;
        const std::size_t had = fBuffer.size();
        fBuffer.resize(had + kChunkBytes);
        const ssize_t got = ::read(fFile, &fBuffer[had], kChunkBytes);
        fBuffer.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
        if (got > 0)
            return Fill::kData;
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (got < 0)
            report(std::string("cannot read further: ") + std::strerror(errno));
        fAtEnd = true;
        return Fill::kEnd;
    }
}

ReplaySource::LineRead ReplaySource::readLine(std::string& line, std::size_t& length)
{
    // Keeps at most kMaxMessageBytes of a line; the rest of a longer one is skipped.
    line.clear();
    length = 0;
    bool any = false;
    for (;;) {
        if (fBufferStart >= fBuffer.size()) {
            const Fill filled = fill();
            if (filled == Fill::kStopped)
                return LineRead::kStopped;
            if (filled == Fill::kEnd)
                break;
        }
        any = true;
        const std::size_t end = fBuffer.find('\n', fBufferStart);
        const std::size_t stop = end == std::string::npos ? fBuffer.size() : end;
        const std::size_t count = stop - fBufferStart;
        if (length < kMaxMessageBytes)
            line.append(fBuffer, fBufferStart, std::min(count, kMaxMessageBytes - length));
        length += count;
        fBufferStart = end == std::string::npos ? fBuffer.size() : end + 1;
        if (end != std::string::npos)
            break;
    }
    if (!any)
        return LineRead::kEnd;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return length > kMaxMessageBytes ? LineRead::kTooLong : LineRead::kLine;
}

void ReplaySource::schedule(std::int64_t timestamp)
{
    const auto now = std::chrono::steady_clock::now();
    if (!fHaveTiming) {
        fHaveTiming = true;
        fDeadline = now;
    } else if (fPassRestarted) {
        fDeadline += kLoopPause;
    } else if (timestamp > fLastTimestamp) {
        // The difference of two int64 values fits an unsigned one.
        const std::uint64_t gap =
            static_cast<std::uint64_t>(timestamp) - static_cast<std::uint64_t>(fLastTimestamp);
        const std::int64_t micros = gap > static_cast<std::uint64_t>(kMaxGapMicros)
                                        ? kMaxGapMicros
                                        : static_cast<std::int64_t>(gap);
        fDeadline += std::chrono::microseconds(micros);
    }
    // A timestamp that goes backwards plays at once.
    if (fDeadline < now - kMaxLag)
        fDeadline = now;
    fPassRestarted = false;
    fLastTimestamp = timestamp;
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

    std::string line;
    for (;;) {
        if (fStop.stopped())
            return false;
        std::size_t length = 0;
        const LineRead read = readLine(line, length);
        if (read == LineRead::kStopped)
            return false;
        if (read == LineRead::kEnd) {
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
        ++fLineNumber;
        if (read == LineRead::kTooLong) {
            reportLine("line too long (" + std::to_string(length) + " bytes, at most " +
                       std::to_string(kMaxMessageBytes) + ")");
            continue;
        }
        if (isBlank(line))
            continue;

        ParsedMessage message = parseMessage(line);
        switch (message.kind) {
        case ParsedMessage::kError:
            reportLine(message.error);
            continue;
        case ParsedMessage::kOther:
            continue;
        case ParsedMessage::kForeign:
            if (message.timed) {
                schedule(message.timestamp);
                if (!fStop.sleepUntil(fDeadline))
                    return false;
            }
            event.kind = SourceEvent::kMessage;
            event.message = std::move(message.text);
            return true;
        case ParsedMessage::kDeviceEvent:
            event.kind = message.streaming ? SourceEvent::kConnect : SourceEvent::kDisconnect;
            return true;
        case ParsedMessage::kFrame:
            fPassHadFrame = true;
            schedule(message.frame.timestamp());
            if (!fStop.sleepUntil(fDeadline))
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
