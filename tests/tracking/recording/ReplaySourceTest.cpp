#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include <fcntl.h>

#include "TestSupport.h"
#include "tracking/recording/RecordingLoop.h"
#include "tracking/recording/RecordingReader.h"
#include "tracking/recording/ReplaySource.h"

using trackingtest::countLinesContaining;
using trackingtest::RecordingListener;
using trackingtest::TempDir;

namespace {

std::string frameLine(int id, long long timestampMicros, double x = 0.0)
{
    std::ostringstream line;
    line
        << R"({"id": )" << id << R"(, "timestamp": )" << timestampMicros
        << R"(, "hands": [{"id": 1, "type": "right"}], "pointables": [{"id": 10, "handId": 1, "tipPosition": [)"
        << x << R"(, 250, -10]}]})";
    return line.str();
}

const char kStreaming[] =
    R"({"event": {"type": "deviceEvent", "state": {"attached": true, "streaming": true}}})";
const char kNotStreaming[] =
    R"({"event": {"type": "deviceEvent", "state": {"attached": true, "streaming": false}}})";

std::unique_ptr<Leap::FrameSource> replay(const std::string& path, bool loop = false)
{
    return std::make_unique<Leap::ReplaySource>(path, loop);
}

TEST(ReplaySource, PlaysFramesAndEventsAtThePaceOfTheTimestamps)
{
    TempDir dir;
    const std::string path = dir.write(
        "take.jsonl", std::string(R"({"serviceVersion": "2.3.1", "version": 6})") + "\n" +
                          frameLine(1, 1000000, -50.0) + "\n" + "\n" + frameLine(2, 1100000, 0.0) +
                          "\r\n" + kNotStreaming + "\n" + kStreaming + "\n" +
                          frameLine(3, 1200000, 50.0) + "\n" +
                          frameLine(4, 1150000, 60.0)); // backwards in time, no final newline
    RecordingListener listener;
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    {
        Leap::Controller controller(&listener, replay(path));
        ASSERT_TRUE(listener.waitForEvent("disconnect") &&
                    listener.waitFor([](const auto& e) { return e.size() == 9; }));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(listener.events(),
              (std::vector<std::string>{"init", "connect", "frame 1", "frame 2", "disconnect",
                                        "connect", "frame 3", "frame 4", "disconnect"}));
    // Frame 3 comes 200 ms of recording after frame 1; it can never come sooner.
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));
    const auto frames = listener.frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_DOUBLE_EQ(frames[2].hands()[0].fingers()[0].tip().position.x, 50.0);
}

TEST(ReplaySource, ReportsEachBadLineOnceAndPlaysTheRest)
{
    const auto hostile = trackingtest::hostileLines();
    std::string contents = frameLine(1, 0) + "\n";
    for (const std::string& line : hostile)
        contents += line + "\n";
    contents += std::string(300 * 1024, ' ') + "x\n"; // too long to read at all
    contents += frameLine(2, 10000) + "\n";
    TempDir dir;
    const std::string path = dir.write("hostile.jsonl", contents);

    RecordingListener listener;
    testing::internal::CaptureStderr();
    {
        Leap::Controller controller(&listener, replay(path));
        ASSERT_TRUE(listener.waitForEvent("disconnect"));
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(listener.events(),
              (std::vector<std::string>{"init", "connect", "frame 1", "frame 2", "disconnect"}));
    const int badLines = static_cast<int>(hostile.size()) + 1;
    EXPECT_EQ(countLinesContaining(errors, "replay " + path + ":"), badLines)
        << errors.substr(0, 2000);
    EXPECT_EQ(static_cast<int>(std::count(errors.begin(), errors.end(), '\n')), badLines);
    for (int line = 2; line < 2 + badLines; ++line)
        EXPECT_EQ(
            countLinesContaining(errors, "replay " + path + ":" + std::to_string(line) + ": "), 1)
            << "line " << line;
    EXPECT_NE(errors.find(":" + std::to_string(1 + badLines) + ": line too long"),
              std::string::npos);
}

TEST(ReplaySource, AMissingFileIsReportedOnceAndStaysDisconnected)
{
    TempDir dir;
    for (const std::string& path : {(dir.path() / "absent.jsonl").string(), dir.path().string()}) {
        RecordingListener listener;
        testing::internal::CaptureStderr();
        {
            Leap::Controller controller(&listener, replay(path));
            ASSERT_TRUE(listener.waitForEvent("init"));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_FALSE(controller.isConnected());
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(listener.events(), std::vector<std::string>{"init"});
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(errors.rfind("replay " + path + ": cannot", 0), 0u) << errors;
    }
}

TEST(ReplaySource, LoopStartsAgainWithoutReportingBadLinesTwice)
{
    TempDir dir;
    const std::string path =
        dir.write("loop.jsonl", frameLine(1, 0) + "\n{oops\n" + frameLine(2, 5000) + "\n");
    RecordingListener listener;
    testing::internal::CaptureStderr();
    {
        Leap::Controller controller(&listener, replay(path, true));
        ASSERT_TRUE(listener.waitFor([](const auto& events) { return events.size() >= 8; }));
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    const auto events = listener.events();
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 8),
              (std::vector<std::string>{"init", "connect", "frame 1", "frame 2", "frame 1",
                                        "frame 2", "frame 1", "frame 2"}));
    EXPECT_EQ(errors, "replay " + path + ":2: not valid JSON (error at byte 2)\n");

    // A file with nothing to play does not spin: it is reported and ends.
    const std::string empty = dir.write("empty.jsonl", "\n{oops\n");
    RecordingListener idle;
    testing::internal::CaptureStderr();
    {
        Leap::Controller controller(&idle, replay(empty, true));
        ASSERT_TRUE(idle.waitForEvent("init"));
        // Time to report both lines: under ThreadSanitizer on a busy machine 50 ms was too short.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    const std::string idleErrors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(idle.events(), std::vector<std::string>{"init"});
    EXPECT_EQ(std::count(idleErrors.begin(), idleErrors.end(), '\n'), 2) << idleErrors;
}

TEST(ReplaySource, DestroyingTheControllerWakesAReplayWaitingForItsNextFrame)
{
    TempDir dir;
    // An hour between the two frames (capped to kMaxGapMicros): far longer than stopping may take.
    const std::string path =
        dir.write("pause.jsonl", frameLine(1, 0) + "\n" + frameLine(2, 3600000000LL) + "\n");
    RecordingListener listener;
    auto controller = std::make_unique<Leap::Controller>(&listener, replay(path));
    ASSERT_TRUE(listener.waitForEvent("frame 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    controller.reset();
    const auto stopping = std::chrono::steady_clock::now() - start;
    EXPECT_LT(stopping, std::chrono::microseconds(Leap::ReplaySource::kMaxGapMicros / 2));
    EXPECT_EQ(listener.events(), (std::vector<std::string>{"init", "connect", "frame 1"}));
}

// A FIFO with no writer, or half a line, never holds up the stop: e2e_recording.
TEST(ReplaySource, HandsOnForeignLinesAtTheirMoment)
{
    TempDir dir;
    // Settings with no time come at once, whatever the first frame's time (an hour in), parsed
    // as the source parsed them (RecordingListener marks a line parsed again); a line
    // stamped 10 ms after that frame comes 10 ms after it.
    const std::string first = R"({"instrument": {"strings": 3}})";
    const std::string later = R"({"mine": true, "timestamp": 3600010000})";
    const std::string path =
        dir.write("take.jsonl", first + "\n" + frameLine(1, 3600000000LL) + "\n" + later + "\n" +
                                    frameLine(2, 3600010000LL) + "\n");
    RecordingListener listener;
    {
        Leap::Controller controller(&listener, replay(path));
        ASSERT_TRUE(listener.waitForEvent("disconnect"));
    }
    EXPECT_EQ(listener.events(), (std::vector<std::string>{"init", first, "connect", "frame 1",
                                                           later, "frame 2", "disconnect"}));
    Leap::ReplaySource source(path, false);
    Leap::SourceEvent event;
    const auto start = std::chrono::steady_clock::now();
    const auto msSinceStart = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    ASSERT_TRUE(source.next(event) && source.next(event));
    EXPECT_LT(msSinceStart(), 1000.0) << "the first frame waited";
    ASSERT_TRUE(source.next(event));
    EXPECT_EQ(event.message, later);
    EXPECT_GE(msSinceStart(), 10.0) << "the timed line came early";
}

// The renderer places lines by RecordingReader's clock, the replay by the wall clock: on a file
// where a foreign line is stamped after the frame that follows it, both put that frame 300 ms
// after the first, not 100 ms.
TEST(ReplaySource, PlaysOnTheClockTheRendererReads)
{
    TempDir dir;
    const std::string path = dir.write("take.jsonl", frameLine(1, 1000000) + "\n" +
                                                         R"({"mine": true, "timestamp": 1300000})" +
                                                         "\n\n" + frameLine(2, 1100000) + "\n");
    Leap::RecordingReader reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    Leap::ParsedMessage message;
    std::vector<std::int64_t> clock;
    while (reader.next(message) == Leap::RecordingReader::Read::kMessage)
        clock.push_back(reader.clockMicros());
    EXPECT_EQ(clock, (std::vector<std::int64_t>{0, 300000, 300000}));
    EXPECT_EQ(reader.lineNumber(), 4);

    Leap::ReplaySource source(path, false);
    Leap::SourceEvent event;
    const auto first = std::chrono::steady_clock::now(); // before the first frame's deadline
    ASSERT_TRUE(source.next(event));
    ASSERT_EQ(event.kind, Leap::SourceEvent::kFrame);
    ASSERT_TRUE(source.next(event) && source.next(event));
    ASSERT_EQ(event.kind, Leap::SourceEvent::kFrame);
    const auto gap = std::chrono::steady_clock::now() - first;
    EXPECT_GE(gap, std::chrono::milliseconds(300));
    EXPECT_LT(gap, std::chrono::milliseconds(1000));
}

// Plays what is due by `dueMicros`, as the page does from its main loop.
struct DueTarget : Leap::RecordingLoop::Target {
    std::int64_t dueMicros = 0;
    std::vector<std::string> played;
    bool reach(std::int64_t clockMicros) override { return clockMicros <= dueMicros; }
    bool frame(Leap::Frame& frame) override
    {
        played.push_back("frame " + std::to_string(frame.id()));
        return true;
    }
    bool foreign(Leap::ParsedMessage& message) override
    {
        played.push_back(message.text);
        return true;
    }
    bool device(bool streaming) override
    {
        played.push_back(streaming ? "connect" : "disconnect");
        return true;
    }
    std::string skipped(const std::string& error, std::size_t bytes) const override
    {
        return bytes == 0 ? "bad: " + error : "too long";
    }
};

TEST(RecordingLoop, ALineNotYetDueWaitsForTheNextCallAndBadLinesAreCountedOut)
{
    trackingtest::TempDir dir;
    const std::string path =
        dir.write("take.jsonl", frameLine(1, 1000000) + "\n[1\n" + frameLine(2, 1010000) +
                                    "\n{\"a\": 1, \"timestamp\": 1015000}\n[2\n[3\n" +
                                    frameLine(3, 1020000) + "\n");
    std::vector<std::string> reports;
    Leap::RecordingLoop loop(
        ::open(path.c_str(), O_RDONLY), -1, "take",
        [&](const std::string& line) { reports.push_back(line); }, 2);
    DueTarget target;
    EXPECT_EQ(loop.play(target), Leap::RecordingLoop::Played::kPaused);
    EXPECT_EQ(target.played, std::vector<std::string>{"frame 1"});
    target.dueMicros = 12000;
    EXPECT_EQ(loop.play(target), Leap::RecordingLoop::Played::kPaused);
    EXPECT_EQ(target.played, (std::vector<std::string>{"frame 1", "frame 2"}));
    target.dueMicros = 20000;
    EXPECT_EQ(loop.play(target), Leap::RecordingLoop::Played::kEnd);
    EXPECT_EQ(target.played,
              (std::vector<std::string>{"frame 1", "frame 2", R"({"a": 1, "timestamp": 1015000})",
                                        "frame 3"}));
    EXPECT_EQ(loop.passFrames(), 3);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].rfind("take:2: bad: ", 0), 0u) << reports[0];
    EXPECT_EQ(reports[1].rfind("take:5: bad: ", 0), 0u) << reports[1];
    EXPECT_EQ(reports[2], "take: more bad lines, not reported");
}

} // namespace
