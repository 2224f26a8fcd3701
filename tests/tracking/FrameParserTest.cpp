#include <gtest/gtest.h>

#include "TestSupport.h"
#include "tracking/FrameParser.h"

using Leap::ParsedMessage;
using Leap::parseMessage;

namespace {

TEST(FrameParser, GroupsPointablesIntoTheirHandsInOrder)
{
    // Trimmed from what the service sends: unknown fields everywhere, a tool of no hand (-1),
    // pointables of the two hands interleaved, the hands listed right before left.
    const std::string text = R"({
        "currentFrameRate": 110.2, "id": 4711, "timestamp": 123456789,
        "interactionBox": {"center": [0, 200, 0], "size": [235, 235, 147]},
        "hands": [{"id": 7, "type": "right", "palmPosition": [1, 2, 3], "armBasis": [[1,0,0],[0,1,0],[0,0,1]]},
                  {"id": 3, "type": "left"}],
        "pointables": [
            {"id": 72, "handId": 7, "tipPosition": [-10.5, 210.25, -4], "tool": false, "type": 1},
            {"id": 31, "handId": 3, "tipPosition": [40, 180, 12]},
            {"id": 90, "handId": -1, "tipPosition": [0, 0, 0]},
            {"id": 71, "handId": 7, "tipPosition": [1e-3, 350, 0.0]}
        ],
        "gestures": [], "r": [[1,0,0],[0,1,0],[0,0,1]], "s": 1, "t": [0, 0, 0]})";

    const ParsedMessage message = parseMessage(text);
    ASSERT_EQ(message.kind, ParsedMessage::kFrame) << message.error;
    const Leap::Frame& frame = message.frame;
    EXPECT_TRUE(frame.isValid());
    EXPECT_EQ(frame.id(), 4711);
    EXPECT_EQ(frame.timestamp(), 123456789);
    ASSERT_EQ(frame.hands().size(), 2u);

    const Leap::Hand& right = frame.hands()[0];
    EXPECT_EQ(right.id(), 7);
    ASSERT_EQ(right.fingers().size(), 2u);
    EXPECT_EQ(right.fingers()[0].id(), 72);
    EXPECT_EQ(right.fingers()[1].id(), 71);
    EXPECT_DOUBLE_EQ(right.fingers()[0].tip().position.x, -10.5);
    EXPECT_DOUBLE_EQ(right.fingers()[0].tip().position.y, 210.25);
    EXPECT_DOUBLE_EQ(right.fingers()[0].tip().position.z, -4.0);

    const Leap::Hand& left = frame.hands()[1];
    EXPECT_EQ(left.id(), 3);
    ASSERT_EQ(left.fingers().size(), 1u);
    EXPECT_EQ(left.fingers()[0].id(), 31);
    EXPECT_DOUBLE_EQ(left.fingers()[0].tip().position.z, 12.0);
}

TEST(FrameParser, EmptyFramesHandsWithoutFingersAndNumericForms)
{
    ParsedMessage empty =
        parseMessage(R"({"id": 1, "timestamp": 5, "hands": [], "pointables": []})");
    ASSERT_EQ(empty.kind, ParsedMessage::kFrame);
    EXPECT_TRUE(empty.frame.hands().empty());

    ParsedMessage bare =
        parseMessage(R"({"id": 2, "timestamp": 2.5e6, "hands": [{"id": -4}], "pointables": []})");
    ASSERT_EQ(bare.kind, ParsedMessage::kFrame) << bare.error;
    EXPECT_EQ(bare.frame.timestamp(), 2500000);
    ASSERT_EQ(bare.frame.hands().size(), 1u);
    EXPECT_TRUE(bare.frame.hands()[0].fingers().empty());

    // Brackets inside strings are text, not nesting.
    ParsedMessage quoted =
        parseMessage(R"({"id": 3, "timestamp": 0, "hands": [], "pointables": [], "note": ")" +
                     std::string(5000, '[') + R"("})");
    EXPECT_EQ(quoted.kind, ParsedMessage::kFrame) << quoted.error;
}

// A frame of `hands` hands and `pointables` pointables, spread over the hands in turn.
std::string frameText(std::size_t hands, std::size_t pointables)
{
    std::string text = R"({"id": 1, "timestamp": 0, "hands": [)";
    for (std::size_t h = 0; h < hands; ++h)
        text += (h ? ", " : "") + std::string(R"({"id": )") + std::to_string(h) + "}";
    text += R"(], "pointables": [)";
    for (std::size_t p = 0; p < pointables; ++p)
        text += (p ? ", " : "") + std::string(R"({"id": )") + std::to_string(p) +
                R"(, "handId": )" + std::to_string(p % hands) + R"(, "tipPosition": [0, 200, 0]})";
    return text + "]}";
}

TEST(FrameParser, TheLargestAllowedFrameParsesAndOneMoreOfEitherIsAnError)
{
    const ParsedMessage largest =
        parseMessage(frameText(Leap::kMaxMessageHands, Leap::kMaxPointables));
    ASSERT_EQ(largest.kind, ParsedMessage::kFrame) << largest.error;
    EXPECT_EQ(largest.frame.hands().size(), Leap::kMaxMessageHands);
    std::size_t fingers = 0;
    for (const Leap::Hand& hand : largest.frame.hands())
        fingers += hand.fingers().size();
    EXPECT_EQ(fingers, Leap::kMaxPointables);

    EXPECT_EQ(parseMessage(frameText(Leap::kMaxMessageHands + 1, 1)).kind, ParsedMessage::kError);
    EXPECT_EQ(parseMessage(frameText(1, Leap::kMaxPointables + 1)).kind, ParsedMessage::kError);
}

TEST(FrameParser, DeviceEventsAndOtherMessages)
{
    ParsedMessage on = parseMessage(
        R"({"event": {"type": "deviceEvent", "state": {"attached": true, "streaming": true, "id": "LP1", "type": "Peripheral"}}})");
    ASSERT_EQ(on.kind, ParsedMessage::kDeviceEvent) << on.error;
    EXPECT_TRUE(on.streaming);
    EXPECT_TRUE(on.attached);

    ParsedMessage off = parseMessage(
        R"({"event": {"type": "deviceEvent", "state": {"attached": true, "streaming": false}}})");
    ASSERT_EQ(off.kind, ParsedMessage::kDeviceEvent);
    EXPECT_FALSE(off.streaming);
    EXPECT_TRUE(off.attached);

    EXPECT_EQ(parseMessage(R"({"serviceVersion": "2.3.1+33747", "version": 6})").kind,
              ParsedMessage::kOther);
    EXPECT_EQ(parseMessage(R"({"event": {"type": "trackingEvent", "state": {}}})").kind,
              ParsedMessage::kOther);
}

TEST(FrameParser, HostileMessagesAreErrorsWithAReason)
{
    const auto lines = trackingtest::hostileLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedMessage message = parseMessage(lines[i]);
        EXPECT_EQ(message.kind, ParsedMessage::kError)
            << "line " << i << ": " << lines[i].substr(0, 120);
        EXPECT_FALSE(message.error.empty()) << "line " << i;
        // A reason is a few words, never an echo of a huge input.
        EXPECT_LT(message.error.size(), 200u) << "line " << i;
    }
}

TEST(FrameParser, EveryTruncationOfAFrameIsHandledSafely)
{
    const std::string text =
        R"({"id": 9, "timestamp": 10, "hands": [{"id": 1, "type": "left"}], "pointables": [{"id": 5, "handId": 1, "tipPosition": [1.5, -2e2, 3]}]})";
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        const ParsedMessage message = parseMessage(std::string_view(text).substr(0, cut));
        EXPECT_EQ(message.kind, ParsedMessage::kError) << "cut at " << cut;
    }
    EXPECT_EQ(parseMessage(text).kind, ParsedMessage::kFrame);
}

} // namespace
