#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <memory>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"
#include "tracking/recording/RecordingLoop.h"

namespace Leap {

// A recorded performance: a file of JSON messages, one per line (see FrameParser.h), played at
// the pace of the frames' timestamps. A file without device events connects at its first frame;
// at the end of the file the source disconnects, or with `loop` starts again from the top.
// Lines are read, timed and handed out by RecordingLoop. Bad lines are reported on standard error
// as "replay PATH:LINE: <what is wrong>" (once, not again on later passes) and skipped; a file that
// cannot be read is reported once and the source stays disconnected. Lines of no tracking message
// (FrameParser's foreign lines) are handed on as they are, at the pace of their own timestamps when
// they have one. Reading waits for data alongside stop(), so a pipe with no writer or a device that
// never ends a line never holds up the program.
class ReplaySource : public FrameSource, private RecordingLoop::Target {
public:
    // Longest pause honoured between two frames; longer gaps in a recording are shortened to it.
    static constexpr std::int64_t kMaxGapMicros = RecordingReader::kMaxGapMicros;

    ReplaySource(std::string path, bool loop);
    ~ReplaySource() override;

    bool next(SourceEvent& event) override;
    void stop() override;

private:
    bool open();
    // Waits until the line at `clockMicros` on the recording's clock is due; false once stopped.
    bool reach(std::int64_t clockMicros) override;
    // Each hands its line out as fEvent.
    bool frame(Frame& frame) override;
    bool foreign(ParsedMessage& message) override;
    bool device(bool streaming) override;
    std::string skipped(const std::string& error, std::size_t bytes) const override;
    void report(const std::string& what) const;

    const std::string fPath;
    const bool fLoop;

    // Reading state: controller thread only.
    std::unique_ptr<RecordingLoop> fLines;
    SourceEvent* fEvent = nullptr; // where next() hands out the line played
    bool fOpened = false;
    bool fDone = false; // unreadable, or played to the end without looping
    bool fHaveTiming = false;
    bool fPassRestarted = false;
    std::int64_t fScheduledClock = 0; // the recording's clock at the last line scheduled
    std::chrono::steady_clock::time_point fDeadline;

    StopSignal fStop;
    int fStopPipe[2] = {-1, -1}; // stop() writes a byte to [1] to wake a waiting read
};

} // namespace Leap
