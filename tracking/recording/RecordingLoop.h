#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "tracking/FrameParser.h"
#include "tracking/ReportSink.h"
#include "tracking/recording/RecordingReader.h"

namespace Leap {

// The one loop over a recorded performance's lines, which each program drives with a Target of its
// own: the replay on its tracking thread in real time, the offline renderer as fast as it renders,
// the page from its main loop. A timed line waits until the target has reached its moment; then a
// frame, a foreign line or a device event goes to the target. A line that cannot be read is skipped
// and reported as "NAME:LINE: <the target's words>", on the first pass only and at most
// `maxReported` of them, then once "NAME: more bad lines, not reported". Not thread-safe.
class RecordingLoop {
public:
    static constexpr long kReportAll = std::numeric_limits<long>::max();

    class Target {
    public:
        virtual ~Target() = default;
        // The line just read is timed at `clockMicros` on the recording's clock (RecordingReader):
        // waits for that moment or renders up to it. False when it is not due yet, or the wait was
        // stopped: play() returns, and the next play() starts with this line.
        virtual bool reach(std::int64_t) { return true; }
        // Each: false when play() is to return after this line.
        virtual bool frame(Frame& frame) = 0;
        virtual bool foreign(ParsedMessage& message) = 0;
        virtual bool device(bool) { return true; }
        // A skipped line in the program's own words: the parser's `error`, or, when `bytes` is not
        // 0, a line of `bytes` bytes, longer than kMaxMessageBytes.
        virtual std::string skipped(const std::string& error, std::size_t bytes) const = 0;
    };

    enum class Played {
        kPaused, // the target said to return
        kEnd,    // the end of the pass; a read failure, if any, has been reported
        kStopped // the reader's `wake` became readable
    };

    // Reads descriptor `file` (which it closes), waking for `wake` as RecordingReader does; reports
    // go to `report` under `name`.
    RecordingLoop(int file, int wake, std::string name, ReportSink report,
                  long maxReported = kReportAll);

    Played play(Target& target);
    // Back to the top of the file for another pass (RecordingReader::rewind).
    void rewind();

    // "NAME: what".
    void report(const std::string& what) const;
    // "NAME:LINE: what" for the line just read, counted as a bad line.
    void reportLine(const std::string& what);

    // Frames played in this pass.
    long passFrames() const { return fPassFrames; }
    const RecordingReader& reader() const { return fReader; }

private:
    RecordingReader fReader;
    const std::string fName;
    const ReportSink fReport;
    const long fMaxReported;
    ParsedMessage fLine;
    bool fPending = false; // fLine is read, and waits for its moment
    int fPass = 0;
    long fPassFrames = 0;
    long fBadLines = 0;
};

} // namespace Leap
