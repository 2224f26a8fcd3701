#include "tracking/recording/RecordingLoop.h"

#include <utility>

namespace Leap {

RecordingLoop::RecordingLoop(int file, int wake, std::string name, ReportSink report,
                             long maxReported)
    : fReader(file, wake), fName(std::move(name)), fReport(std::move(report)),
      fMaxReported(maxReported)
{
}

void RecordingLoop::rewind()
{
    // A pipe cannot go back: its next pass finds the end at once.
    fReader.rewind();
    fPending = false;
    ++fPass;
    fPassFrames = 0;
}

void RecordingLoop::report(const std::string& what) const
{
    fReport(fName + ": " + what);
}

void RecordingLoop::reportLine(const std::string& what)
{
    // A file that is no recording at all is said in a few lines, not one per line; a loop's later
    // passes say nothing the first has said.
    if (fPass > 0)
        return;
    if (++fBadLines <= fMaxReported)
        fReport(fName + ":" + std::to_string(fReader.lineNumber()) + ": " + what);
    else if (fBadLines == fMaxReported + 1)
        report("more bad lines, not reported");
}

RecordingLoop::Played RecordingLoop::play(Target& target)
{
    for (;;) {
        if (!fPending) {
            const RecordingReader::Read read = fReader.next(fLine);
            if (read == RecordingReader::Read::kStopped)
                return Played::kStopped;
            if (read == RecordingReader::Read::kEnd) {
                if (!fReader.failure().empty())
                    report(fReader.failure());
                return Played::kEnd;
            }
            if (read == RecordingReader::Read::kTooLong) {
                reportLine(target.skipped("", fReader.lineBytes()));
                continue;
            }
        }
        const bool timed = fLine.kind == ParsedMessage::kFrame ||
                           (fLine.kind == ParsedMessage::kForeign && fLine.timed);
        fPending = timed && !target.reach(fReader.clockMicros());
        if (fPending)
            return Played::kPaused;
        bool goOn = true;
        switch (fLine.kind) {
        case ParsedMessage::kError:
            reportLine(target.skipped(fLine.error, 0));
            break;
        case ParsedMessage::kOther:
            break;
        case ParsedMessage::kFrame:
            ++fPassFrames;
            goOn = target.frame(fLine.frame);
            break;
        case ParsedMessage::kForeign:
            goOn = target.foreign(fLine);
            break;
        case ParsedMessage::kDeviceEvent:
            goOn = target.device(fLine.streaming);
            break;
        }
        if (!goOn)
            return Played::kPaused;
    }
}

} // namespace Leap
