#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"
#include "support/ManualSource.h"
#include "tracking/DemoSource.h"
#include "tracking/IdleSource.h"
#include "tracking/PointerSource.h"

using trackingtest::RecordingListener;

namespace {

Leap::Frame frameWithId(std::int64_t id)
{
    return Leap::Frame(id, id * 10000, {Leap::Hand(1, {Leap::Finger(id, Leap::Vector{1, 2, 3})})});
}

// Notes what frame(0), frame(1) and frame(2) hold while onFrame runs.
class HistoryListener : public RecordingListener {
public:
    void onFrame(const Leap::Controller& controller) override
    {
        std::string seen;
        for (int back = 0; back < 3; ++back) {
            Leap::Frame frame = controller.frame(back);
            seen += frame.isValid() ? std::to_string(frame.id()) : "-";
        }
        history.push_back(seen);
        connectedDuringFrame = connectedDuringFrame && controller.isConnected();
        RecordingListener::onFrame(controller);
    }
    std::vector<std::string> history; // controller thread; read after the push returned
    bool connectedDuringFrame = true;
};

TEST(Controller, CallsTheListenerInOrderAndKeepsAHistory)
{
    HistoryListener listener;
    auto owned = std::make_unique<Leap::ManualSource>();
    Leap::ManualSource& source = *owned;
    {
        Leap::Controller controller(&listener, std::move(owned));
        EXPECT_FALSE(controller.isConnected());
        ASSERT_TRUE(source.connect());
        EXPECT_TRUE(controller.isConnected());
        ASSERT_TRUE(source.connect()); // already connected: not reported again
        ASSERT_TRUE(source.push(frameWithId(1)));
        ASSERT_TRUE(source.push(frameWithId(2)));
        ASSERT_TRUE(source.disconnect());
        ASSERT_TRUE(source.disconnect());
        EXPECT_FALSE(controller.isConnected());
        ASSERT_TRUE(source.push(frameWithId(3))); // a frame means the device streams again
        EXPECT_TRUE(controller.isConnected());
        EXPECT_EQ(controller.frame(0).id(), 3);
        EXPECT_EQ(controller.frame(2).id(), 1);
        EXPECT_FALSE(controller.frame(3).isValid());
        EXPECT_FALSE(controller.frame(-1).isValid());
    }
    EXPECT_EQ(listener.events(), (std::vector<std::string>{"init", "connect", "frame 1", "frame 2",
                                                           "disconnect", "connect", "frame 3"}));
    EXPECT_EQ(listener.history, (std::vector<std::string>{"1--", "21-", "321"}));
    EXPECT_TRUE(listener.connectedDuringFrame);
}

TEST(Controller, InitComesOnceEvenWhenDestroyedAtOnce)
{
    RecordingListener listener;
    {
        Leap::Controller controller(&listener, std::make_unique<Leap::IdleSource>());
    }
    EXPECT_EQ(listener.events(), std::vector<std::string>{"init"});
}

class ThrowingListener : public RecordingListener {
public:
    void onInit(const Leap::Controller& controller) override
    {
        RecordingListener::onInit(controller);
        throw std::runtime_error("init went wrong");
    }
    void onFrame(const Leap::Controller& controller) override
    {
        RecordingListener::onFrame(controller);
        if (controller.frame(0).id() == 1)
            throw std::logic_error("frame one went wrong");
        if (controller.frame(0).id() == 2)
            throw 42;
    }
};

TEST(Controller, AThrowingListenerIsReportedAndTheThreadGoesOn)
{
    ThrowingListener listener;
    auto owned = std::make_unique<Leap::ManualSource>();
    Leap::ManualSource& source = *owned;
    testing::internal::CaptureStderr();
    {
        Leap::Controller controller(&listener, std::move(owned));
        ASSERT_TRUE(source.push(frameWithId(1)));
        ASSERT_TRUE(source.push(frameWithId(2)));
        ASSERT_TRUE(source.push(frameWithId(3)));
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(listener.events(),
              (std::vector<std::string>{"init", "connect", "frame 1", "frame 2", "frame 3"}));
    EXPECT_EQ(trackingtest::countLinesContaining(errors, "init went wrong"), 1) << errors;
    EXPECT_EQ(trackingtest::countLinesContaining(errors, "frame one went wrong"), 1) << errors;
    EXPECT_EQ(trackingtest::countLinesContaining(errors, "onFrame threw an unknown exception"), 1)
        << errors;
}

class FailingSource : public Leap::ManualSource {
public:
    bool next(Leap::SourceEvent& event) override
    {
        if (fCalls++ == 1)
            throw std::runtime_error("device unplugged violently");
        return ManualSource::next(event);
    }

private:
    int fCalls = 0;
};

TEST(Controller, AFailingSourceDisconnectsAndEndsTheCallbacks)
{
    RecordingListener listener;
    auto owned = std::make_unique<FailingSource>();
    FailingSource& source = *owned;
    testing::internal::CaptureStderr();
    Leap::Controller controller(&listener, std::move(owned));
    ASSERT_TRUE(source.push(frameWithId(1)));
    ASSERT_TRUE(listener.waitForEvent("disconnect"));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(listener.events(),
              (std::vector<std::string>{"init", "connect", "frame 1", "disconnect"}));
    EXPECT_NE(errors.find("device unplugged violently"), std::string::npos) << errors;
    EXPECT_FALSE(controller.isConnected());
}

// The window's pointer as the source's fingertip: across the playing area, and past the string
// plane only while the button is held; gone when the pointer leaves.
TEST(PointerSource, HeldButtonReachesPastTheStringPlane)
{
    Leap::PointerSource::move(0.5, 0.25, true);
    Leap::Frame frame = Leap::PointerSource::current(1, 10000);
    ASSERT_EQ(frame.hands().size(), 1u);
    Leap::Vector tip = frame.hands()[0].fingers()[0].tip().position;
    EXPECT_DOUBLE_EQ(tip.x, 0.0);
    EXPECT_DOUBLE_EQ(tip.y, 200.0);
    EXPECT_LT(tip.z, 0.0);

    Leap::PointerSource::move(1.0, 1.0, false);
    tip = Leap::PointerSource::current(2, 20000).hands()[0].fingers()[0].tip().position;
    EXPECT_DOUBLE_EQ(tip.x, 200.0);
    EXPECT_DOUBLE_EQ(tip.y, 350.0);
    EXPECT_GT(tip.z, 0.0);

    Leap::PointerSource::leave();
    EXPECT_TRUE(Leap::PointerSource::current(3, 30000).hands().empty());
}

TEST(DemoSource, SweepsAcrossThePlayAreaThroughTheStringPlane)
{
    // One 18-second stretch of the performance: both fingertips cover the whole width, on both
    // sides of the plane, at their own heights; the second one comes and goes.
    double minX = 1e9, maxX = -1e9, minZ = 1e9, maxZ = -1e9;
    int framesWithTwo = 0;
    const int frames = 1800;
    for (int n = 0; n < frames; ++n) {
        const Leap::Frame frame = Leap::DemoSource::frameAt(n);
        ASSERT_GE(frame.hands().size(), 1u);
        EXPECT_EQ(frame.id(), n);
        EXPECT_EQ(frame.timestamp(), n * Leap::DemoSource::kFrameMicros);
        framesWithTwo += frame.hands().size() == 2;
        for (const Leap::Hand& hand : frame.hands())
            for (const Leap::Finger& finger : hand.fingers()) {
                const Leap::Vector& tip = finger.tip().position;
                minX = std::min(minX, tip.x);
                maxX = std::max(maxX, tip.x);
                minZ = std::min(minZ, tip.z);
                maxZ = std::max(maxZ, tip.z);
                EXPECT_GT(tip.y, 150.0);
                EXPECT_LT(tip.y, 350.0);
            }
    }
    EXPECT_LT(minX, -200.0);
    EXPECT_GT(maxX, 200.0);
    EXPECT_LT(minZ, 0.0);
    EXPECT_GT(maxZ, 0.0);
    EXPECT_GT(framesWithTwo, frames / 4);
    EXPECT_LT(framesWithTwo, frames);

    RecordingListener listener;
    {
        Leap::Controller controller(
            &listener, std::make_unique<Leap::DemoSource>(std::chrono::microseconds(500)));
        ASSERT_TRUE(listener.waitForEvent("frame 20"));
    }
    const auto events = listener.events();
    ASSERT_GE(events.size(), 23u);
    EXPECT_EQ(events[1], "connect");
    EXPECT_EQ(events[2], "frame 0");
}

} // namespace
