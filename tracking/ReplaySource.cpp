#include "ReplaySource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>

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

ReplaySource::ReplaySource(std::string path, bool loop) : fPath(std::move(path)), fLoop(loop) {}

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
    fFile.open(fPath, std::ios::binary);
    if (!fFile) {
        report(std::string("cannot open: ") + std::strerror(errno));
        return false;
    }
    return true;
}

void ReplaySource::rewind()
{
    fFile.clear();
    fFile.seekg(0);
    fLineNumber = 0;
    ++fPass;
    fPassHadFrame = false;
    fPassRestarted = true;
}

ReplaySource::LineRead ReplaySource::readLine(std::string& line, std::size_t& length)
{
    // Reads at most kMaxMessageBytes of a line; the rest of a longer one is skipped unread.
    line.clear();
    length = 0;
    std::streambuf* buffer = fFile.rdbuf();
    bool any = false;
    for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
        any = true;
        if (c == '\n')
            break;
        if (length < kMaxMessageBytes)
            line.push_back(static_cast<char>(c));
        ++length;
    }
    if (!any)
        return LineRead::kEnd;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return length > kMaxMessageBytes ? LineRead::kTooLong : LineRead::kLine;
}

void ReplaySource::scheduleFrame(std::int64_t timestamp)
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
        case ParsedMessage::kDeviceEvent:
            event.kind = message.streaming ? SourceEvent::kConnect : SourceEvent::kDisconnect;
            return true;
        case ParsedMessage::kFrame:
            fPassHadFrame = true;
            scheduleFrame(message.frame.timestamp());
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
}

} // namespace Leap
