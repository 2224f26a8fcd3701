// The instrument with nothing around it: linked with no window, GL, sound device or MIDI library,
// it plays an example recording (its settings line, then its frames) through its own listener.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/instrument/Actions.h"
#include "app/instrument/HarpListener.h"
#include "app/instrument/InstrumentOutput.h"
#include "support/FromTestProgram.h"
#include "tracking/FrameParser.h"
#include "tracking/StopSignal.h"
#include "tracking/recording/RecordingReader.h"

namespace {

// The recording's lines as fast as the listener takes them (the frames' clock, not the wall's,
// drives the pluck detector), and word of the end to the test.
class WholeRecording : public Leap::FrameSource {
public:
    explicit WholeRecording(const char* path) : fReader(::open(path, O_RDONLY | O_CLOEXEC)) {}

    bool next(Leap::SourceEvent& event) override
    {
        Leap::ParsedMessage line;
        while (fReader.next(line) == Leap::RecordingReader::Read::kMessage) {
            if (line.kind == Leap::ParsedMessage::kFrame ||
                line.kind == Leap::ParsedMessage::kForeign) {
                event.kind = line.kind == Leap::ParsedMessage::kFrame ? Leap::SourceEvent::kFrame
                                                                      : Leap::SourceEvent::kMessage;
                event.frame = std::move(line.frame);
                event.message = std::move(line.text);
                return true;
            }
        }
        auto lock = fStop.lock();
        fPlayed = true;
        fStop.wake();
        fStop.waitFor(lock, [] { return false; });
        return false;
    }
    void stop() override { fStop.stop(); }
    void waitUntilPlayed()
    {
        auto lock = fStop.lock();
        fStop.waitFor(lock, [this] { return fPlayed; });
    }

private:
    Leap::RecordingReader fReader;
    Leap::StopSignal fStop;
    bool fPlayed = false; // under fStop's lock
};

TEST(InstrumentAlone, PlaysAnExampleThroughItsListener)
{
    // Not the recording's set-up: its settings line must bring the ten strings and the scale.
    apptest::freshStrings(5);
    GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
    apptest::HeardNotes::Instance().take();
    const std::string example =
        testsupport::FromTestProgram(QUORVEL_SOURCE_DIR "/examples/ode-to-joy.jsonl");
    ASSERT_TRUE(std::filesystem::exists(example)) << example; // else it would wait for ever
    auto* recording = new WholeRecording(example.c_str());
    {
        Leap::Controller controller(&listener, std::unique_ptr<Leap::FrameSource>(recording));
        recording->waitUntilPlayed();
    }
    EXPECT_EQ(Harp::GetInstance()->GetNumStrings(), 10);
    // The tune's notes in G# major (tests/e2e/performances.py).
    const std::vector<int> tune = {36, 36, 37, 39, 39, 37, 36, 34, 32, 32, 34, 36, 36, 34, 34,
                                   36, 36, 37, 39, 39, 37, 36, 34, 32, 32, 34, 36, 34, 32, 32};
    EXPECT_EQ(apptest::HeardNotes::Instance().take(), tune);
}

} // namespace
