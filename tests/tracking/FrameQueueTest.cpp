#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tracking/FrameQueue.h"

namespace {

Leap::SourceEvent event(Leap::SourceEvent::Kind kind, std::int64_t frameId = 0)
{
    Leap::SourceEvent made;
    made.kind = kind;
    if (kind == Leap::SourceEvent::kFrame)
        made.frame = Leap::Frame(frameId, frameId * 10000, {});
    return made;
}

// Pops `count` events, as "connect", "disconnect" or the frame's id.
std::vector<std::string> drain(Leap::FrameQueue& queue, int count)
{
    std::vector<std::string> popped;
    Leap::SourceEvent next;
    for (int i = 0; i < count && queue.pop(next); ++i)
        popped.push_back(next.kind == Leap::SourceEvent::kConnect ? "connect"
                         : next.kind == Leap::SourceEvent::kDisconnect
                             ? "disconnect"
                             : std::to_string(next.frame.id()));
    return popped;
}

TEST(FrameQueue, ANewFramePushesOutTheOldestFrameButNeverAConnectionChange)
{
    using Kind = Leap::SourceEvent::Kind;
    Leap::FrameQueue queue(2);
    queue.push(event(Kind::kConnect));
    for (int id = 1; id <= 4; ++id)
        queue.push(event(Kind::kFrame, id));
    queue.push(event(Kind::kDisconnect));
    queue.push(event(Kind::kFrame, 5));
    EXPECT_EQ(drain(queue, 4), (std::vector<std::string>{"connect", "4", "disconnect", "5"}));

    Leap::FrameQueue single(0); // holds one frame all the same
    single.push(event(Kind::kFrame, 1));
    single.push(event(Kind::kFrame, 2));
    EXPECT_EQ(drain(single, 1), (std::vector<std::string>{"2"}));
}

TEST(FrameQueue, StopEndsAWaitingPopAndRefusesLaterEvents)
{
    Leap::FrameQueue queue(8);
    bool popped = true;
    std::thread waiter([&] {
        Leap::SourceEvent next;
        popped = queue.pop(next);
    });
    queue.stop();
    waiter.join();
    EXPECT_FALSE(popped);
    queue.push(event(Leap::SourceEvent::kConnect));
    Leap::SourceEvent next;
    EXPECT_FALSE(queue.pop(next));
    queue.stop();
}

} // namespace
