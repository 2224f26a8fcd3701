#include "tracking/recording/RecordingReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace Leap {

namespace {

bool isBlank(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

} // namespace

RecordingReader::RecordingReader(int file, int wake) : fFile(file), fWake(wake) {}

RecordingReader::~RecordingReader()
{
    if (fFile >= 0)
        ::close(fFile);
}

void RecordingReader::rewind()
{
    if (::lseek(fFile, 0, SEEK_SET) == 0) {
        fBuffer.clear();
        fBufferStart = 0;
        fAtEnd = false;
    }
    fFailure.clear();
    fLineNumber = 0;
    fTimed = false;
}

RecordingReader::Fill RecordingReader::fill()
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
        pollfd waits[2] = {{fFile, POLLIN, 0}, {fWake, POLLIN, 0}};
        const int ready = ::poll(waits, fWake >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno != EINTR) {
            fFailure = std::string("cannot read: ") + std::strerror(errno);
            fAtEnd = true;
            return Fill::kEnd;
        }
        if (ready <= 0)
            continue;
        if (fWake >= 0 && waits[1].revents != 0)
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
            fFailure = std::string("cannot read further: ") + std::strerror(errno);
        fAtEnd = true;
        return Fill::kEnd;
    }
}

RecordingReader::Read RecordingReader::readLine(std::string& line)
{
    line.clear();
    fLineBytes = 0;
    bool any = false;
    for (;;) {
        if (fBufferStart >= fBuffer.size()) {
            const Fill filled = fill();
            if (filled == Fill::kStopped)
                return Read::kStopped;
            if (filled == Fill::kEnd)
                break;
        }
        any = true;
        const std::size_t end = fBuffer.find('\n', fBufferStart);
        const std::size_t stop = end == std::string::npos ? fBuffer.size() : end;
        const std::size_t count = stop - fBufferStart;
        if (fLineBytes < kMaxMessageBytes)
            line.append(fBuffer, fBufferStart, std::min(count, kMaxMessageBytes - fLineBytes));
        fLineBytes += count;
        fBufferStart = end == std::string::npos ? fBuffer.size() : end + 1;
        if (end != std::string::npos)
            break;
    }
    if (!any)
        return Read::kEnd;
    ++fLineNumber;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return fLineBytes > kMaxMessageBytes ? Read::kTooLong : Read::kMessage;
}

void RecordingReader::advanceClock(std::int64_t timestampMicros)
{
    if (fTimed && timestampMicros > fLastTimestamp) {
        // The difference of two int64 values fits an unsigned one.
        const std::uint64_t gap = static_cast<std::uint64_t>(timestampMicros) -
                                  static_cast<std::uint64_t>(fLastTimestamp);
        fClockMicros += gap > static_cast<std::uint64_t>(kMaxGapMicros)
                            ? kMaxGapMicros
                            : static_cast<std::int64_t>(gap);
    }
    fTimed = true;
    fLastTimestamp = timestampMicros;
}

RecordingReader::Read RecordingReader::next(ParsedMessage& message)
{
    std::string line;
    for (;;) {
        const Read read = readLine(line);
        if (read != Read::kMessage)
            return read;
        if (isBlank(line))
            continue;
        message = parseMessage(line);
        if (message.kind == ParsedMessage::kFrame)
            advanceClock(message.frame.timestamp());
        else if (message.kind == ParsedMessage::kForeign && message.timed)
            advanceClock(message.timestamp);
        return Read::kMessage;
    }
}

} // namespace Leap
