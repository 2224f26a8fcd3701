#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tracking/FrameParser.h"

namespace Leap {

// Reads a recorded performance, one JSON message a line, and keeps the recording's clock; what
// the replay and the offline renderer both play from. A line keeps at most kMaxMessageBytes (the
// rest of a longer one is skipped and the line reported too long), loses a final "\r", and is
// passed over when it holds only spaces, tabs and "\r". The clock starts at the first timed line
// (a frame, or a foreign line with a "timestamp") and moves on by each later timed line's step
// forward, shortened to kMaxGapMicros; a line stamped earlier than the one before does not move
// it. Every timed line counts, whatever its reader makes of it, so that a replay and a render of
// one file agree on when each line plays. Reading waits for data, or for `wake` to become
// readable (then next() says kStopped). Not thread-safe.
class RecordingReader {
public:
    // Longest pause honoured between two timed lines, microseconds.
    static constexpr std::int64_t kMaxGapMicros = 5000000;

    enum class Read {
        kMessage, // a line that is not blank, parsed
        kTooLong, // a line longer than kMaxMessageBytes; lineBytes() says how long
        kEnd,     // the end of the file, or a read error (failure() says which)
        kStopped  // `wake` became readable
    };

    // Reads descriptor `file`, which it closes. `wake`: a descriptor that ends a wait, or -1.
    explicit RecordingReader(int file, int wake = -1);
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // The next line that is not blank. With kMessage, `message` holds it and clockMicros() has
    // moved if it is timed.
    Read next(ParsedMessage& message);

    // Goes back to the top of the file, line 1, where the next timed line does not move the
    // clock. A pipe cannot go back: it stays at its end.
    void rewind();

    // The number of the line last read, from 1 (blank lines count).
    long lineNumber() const { return fLineNumber; }
    // The whole length of the line last read, in bytes without its "\n".
    std::size_t lineBytes() const { return fLineBytes; }
    // Microseconds from the first timed line, long pauses shortened.
    std::int64_t clockMicros() const { return fClockMicros; }
    // Why reading stopped short of the end, as "cannot read: ..."; empty when it did not, and
    // again after rewind().
    const std::string& failure() const { return fFailure; }

private:
    enum class Fill { kData, kEnd, kStopped };

    // Reads what there is into fBuffer, waiting for data or `wake`.
    Fill fill();
    Read readLine(std::string& line);
    void advanceClock(std::int64_t timestampMicros);

    const int fFile;
    const int fWake;
    std::string fBuffer; // read but not yet taken
    std::size_t fBufferStart = 0;
    bool fAtEnd = false;
    std::string fFailure;
    long fLineNumber = 0;
    std::size_t fLineBytes = 0;

    bool fTimed = false;             // a timed line has been read since the top of the file
    std::int64_t fLastTimestamp = 0; // microseconds, of the last timed line
    std::int64_t fClockMicros = 0;
};

} // namespace Leap
