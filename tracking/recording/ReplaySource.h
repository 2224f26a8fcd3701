#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <memory>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"
#include "tracking/recording/RecordingReader.h"

namespace Leap {

// A recorded performance: a file of JSON messages, one per line (see FrameParser.h), played at
// the pace of the frames' timestamps. A file without device events connects at its first frame;
// at the end of the file the source disconnects, or with `loop` starts again from the top.
// Lines are read and timed as RecordingReader reads them. Bad lines are reported on standard error
// as "replay PATH:LINE: <what is wrong>" (once, not again on later passes) and skipped; a file that
// cannot be read is reported once and the source stays disconnected. Lines of no tracking message
// (FrameParser's foreign lines) are handed on as they are, at the pace of their own timestamps when
// they have one. Reading waits for data alongside stop(), so a pipe with no writer or a device that
// never ends a line never holds up the program.
class ReplaySource : public FrameSource {
public:
    // Longest pause honoured between two frames; longer gaps in a recording are shortened to it.
    static constexpr std::int64_t kMaxGapMicros = RecordingReader::kMaxGapMicros;

    ReplaySource(std::string path, bool loop);
    ~ReplaySource() override;

    bool next(SourceEvent& event) override;
    void stop() override;

private:
    bool open();
    void rewind();
    // Waits until the line the reader has just timed is due; false once stopped.
    bool waitForLine();
    void report(const std::string& what) const;
    void reportLine(const std::string& what) const;

    const std::string fPath;
    const bool fLoop;

    // Reading state: controller thread only.
    std::unique_ptr<RecordingReader> fReader;
    bool fOpened = false;
    bool fDone = false; // unreadable, or played to the end without looping
    int fPass = 0;
    bool fPassHadFrame = false;
    bool fHaveTiming = false;
    bool fPassRestarted = false;
    std::int64_t fScheduledClock = 0; // the reader's clock at the last line scheduled
    std::chrono::steady_clock::time_point fDeadline;

    StopSignal fStop;
    int fStopPipe[2] = {-1, -1}; // stop() writes a byte to [1] to wake a waiting read
};

} // namespace Leap
