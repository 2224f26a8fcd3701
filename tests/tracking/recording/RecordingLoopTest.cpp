#include <gtest/gtest.h>

#include <fcntl.h>

#include "TestSupport.h"
#include "tracking/recording/RecordingLoop.h"

namespace {

std::string frameLine(int id, long long timestampMicros)
{
    return R"({"id": )" + std::to_string(id) + R"(, "timestamp": )" +
           std::to_string(timestampMicros) +
           R"(, "hands": [{"id": 1}], "pointables": [{"id": 10, "handId": 1, "tipPosition": [0, 250, -10]}]})";
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
