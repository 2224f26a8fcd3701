#include <gtest/gtest.h>

#include <vector>

#include "service/EventLog.h"
#include "tracking/FrameParser.h"
#include "tracking/recording/RecordingSource.h"

namespace servicetest {
namespace {

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

} // namespace
} // namespace servicetest
