#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "service/EventLog.h"
#include "service/FakeService.h"
#include "support/ManualSource.h"
#include "tracking/FrameParser.h"
#include "tracking/Leap.h"
#include "tracking/recording/RecordingSource.h"
#include "tracking/recording/ReplaySource.h"
#include "tracking/service/ServiceSource.h"

namespace servicetest {
namespace {

using Leap::RecordingSource;

using trackingtest::TempDir;

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

TEST(RecordingLine, EveryEventBecomesALineThatParsesBackToIt)
{
    // Recorded lines are read back by the replay parser.
    Leap::SourceEvent frame;
    frame.frame = handsFrame(123456789012LL, 2, 5);
    const Leap::ParsedMessage parsed = Leap::parseMessage(Leap::replayLine(frame));
    ASSERT_EQ(parsed.kind, Leap::ParsedMessage::kFrame) << parsed.error;
    EXPECT_EQ(parsed.frame.id(), 123456789012LL);
    EXPECT_EQ(parsed.frame.timestamp(), 123456789012LL * 9000);
    EXPECT_EQ(EventLog::describe(parsed.frame), EventLog::describe(frame.frame));

    for (auto kind : {Leap::SourceEvent::kConnect, Leap::SourceEvent::kDisconnect}) {
        Leap::SourceEvent change;
        change.kind = kind;
        const Leap::ParsedMessage event = Leap::parseMessage(Leap::replayLine(change));
        ASSERT_EQ(event.kind, Leap::ParsedMessage::kDeviceEvent);
        EXPECT_EQ(event.streaming, kind == Leap::SourceEvent::kConnect);
    }
}

TEST(Recording, ALiveSessionReplaysToTheSameCallbacks)
{
    TempDir dir;
    const std::string path = (dir.path() / "live.jsonl").string();
    EventLog live;
    {
        FakeService service;
        Leap::ServiceSource::Options options;
        options.url = service.url();
        options.maxQueuedFrames = 1000;
        options.report = nullptr;
        Leap::Controller controller(
            &live, std::make_unique<RecordingSource>(std::make_unique<Leap::ServiceSource>(options),
                                                     path));
        ASSERT_TRUE(service.waitFor([](const std::vector<std::string>& log) {
            return log.size() >= 4; // open, greeting, two requests
        }));
        service.sendText(deviceEvent(true));
        service.sendText(frameMessage(10, {{1, -0.1, 123.456789012345678, 1e-300}}, 1000));
        service.sendText(frameMessage(11, {{1, 5e300, -0.0, 7}, {2, 1.0 / 3.0, 2, 3}}, 2000));
        service.sendText(
            R"({"id":12,"timestamp":3000,"hands":[{"id":4},{"id":9}],"pointables":[)"
            R"({"id":90,"handId":9,"tipPosition":[1,2,3]},{"id":40,"handId":4,"tipPosition":[4,5,6]},)"
            R"({"id":91,"handId":9,"tipPosition":[7,8,9]}]})");
        service.sendText(frameMessage(13, {}, 4000));
        service.sendText(deviceEvent(false));
        ASSERT_TRUE(live.waitForLast("disconnect"));
    }
    EXPECT_EQ(readLines(path).size(), 6u);

    EventLog replayed;
    {
        Leap::Controller controller(&replayed, std::make_unique<Leap::ReplaySource>(path, false));
        ASSERT_TRUE(replayed.waitForLast("disconnect"));
    }
    EXPECT_EQ(replayed.lines(), live.lines());
}

// A hand-driven source that counts the calls a wrapper must pass on to it.
struct CountingSource : Leap::ManualSource {
    void recalibrate() override { ++recalibrations; }
    void annotate(const std::string&) override { ++annotations; }
    std::atomic<int> recalibrations{0}, annotations{0};
};

// A hand-driven controller whose events are recorded to `path`.
struct RecordedManual {
    explicit RecordedManual(const std::string& path)
    {
        auto manual = std::make_unique<CountingSource>();
        source = manual.get();
        controller = std::make_unique<Leap::Controller>(
            &log, std::make_unique<RecordingSource>(std::move(manual), path, reports.sink()));
    }

    EventLog log;
    Reports reports;
    CountingSource* source = nullptr;
    std::unique_ptr<Leap::Controller> controller;
};

TEST(Recording, TheWrappedSourceGetsEveryCall)
{
    TempDir dir;
    const std::string path = (dir.path() / "calls.jsonl").string();
    RecordedManual session(path);
    ASSERT_TRUE(session.source->connect()); // next, then handled once the listener returns
    session.controller->recalibrate();
    session.controller->record(R"({"strings": 3})");
    EXPECT_EQ(session.source->recalibrations, 1);
    EXPECT_EQ(session.source->annotations, 1);
    session.controller.reset(); // stop: a source that never heard it would hang here
    EXPECT_EQ(readLines(path).size(), 2u);
}

TEST(Recording, AFileThatCannotBeWrittenIsReportedOnceAndPlayingGoesOn)
{
    for (const char* path : {"/dev/full", "/nonexistent-directory/recording.jsonl"}) {
        RecordedManual session(path);
        ASSERT_TRUE(session.source->connect());
        for (int id = 1; id <= 200; ++id)
            ASSERT_TRUE(session.source->push(handsFrame(id, 1, 2)));
        EXPECT_EQ(session.log.lines().size(), 202u) << path;
        session.controller.reset();
        EXPECT_EQ(session.reports.lines().size(), 1u) << path;
    }
}

TEST(Recording, AReaderThatFallsBehindCostsLinesNeverTheTrackingThreadNorTheStop)
{
    // The stuck reader either stays to the end (the writer gives up after its drain time) or
    // goes away (the next write fails, without a signal ending the program).
    for (const bool readerLeaves : {false, true}) {
        TempDir dir;
        const std::string path = (dir.path() / "stuck.fifo").string();
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        // A reader that never reads: the pipe fills, then the buffer.
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        {
            RecordedManual session(path);
            const Leap::Frame big = handsFrame(1, 8, 5); // about 3 kB a line
            const std::size_t needed = RecordingSource::kMaxPendingBytes / 2000 + 200;
            for (std::size_t i = 0; i < needed; ++i)
                ASSERT_TRUE(session.source->push(big));
            EXPECT_EQ(session.reports.countContaining("falls behind"), 1u);
            EXPECT_EQ(session.log.lines().size(), needed + 2); // init, connect, every frame

            if (readerLeaves)
                ::close(reader);
            session.controller.reset();
            const std::vector<std::string> reports = session.reports.lines();
            ASSERT_EQ(reports.size(), 2u);
            EXPECT_NE(reports[1].find(readerLeaves ? "Broken pipe" : "before its end"),
                      std::string::npos)
                << reports[1];
        }
        if (!readerLeaves)
            ::close(reader);
    }
}

} // namespace
} // namespace servicetest
