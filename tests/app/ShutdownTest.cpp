// The quit path's stop of the tracking thread through the stage that owns it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/Shutdown.h"
#include "app/Stage.h"
#include "tracking/DemoSource.h"
#include "tracking/Leap.h"

// Objects the exit test leaves alive on purpose; globals with linkage, so the leak checker counts
// them as reachable.
namespace exittest {
Leap::Listener* gExitListener = nullptr;
Stage* gExitStage = nullptr;
} // namespace exittest

namespace {

class CountingListener : public Leap::Listener {
public:
    void onFrame(const Leap::Controller&) override { fFrames.fetch_add(1); }
    std::atomic<int> fFrames{0};
};

TEST(Shutdown, StopThreadsEndsTrackingCallbacksAndCanRunAgain)
{
    CountingListener listener;
    Stage stage;
    stage.StartTracking(&listener,
                        std::make_unique<Leap::DemoSource>(std::chrono::microseconds(200)));
    GLStuff::RegisterStage(&stage);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (listener.fFrames.load() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(listener.fFrames.load(), 3);

    GLStuff::StopThreads();
    EXPECT_FALSE(stage.IsTracking());
    const int framesAtStop = listener.fFrames.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(listener.fFrames.load(), framesAtStop);

    // A stopped stage starts nothing more.
    EXPECT_EQ(stage.StartTracking(&listener, std::make_unique<Leap::DemoSource>()), nullptr);
    EXPECT_FALSE(stage.IsTracking());
    GLStuff::StopThreads();
    GLStuff::RegisterStage(nullptr);
    GLStuff::StopThreads();
}

// Process exit with a controller still running (an exit inside the window system): its thread
// must be stopped before the static objects its listener uses are destroyed.
struct ExitWitness {
    ~ExitWitness()
    {
        destroyed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // room for a stray callback
    }
    std::atomic<bool> destroyed{false};
};
ExitWitness gWitness;

class ExitListener : public Leap::Listener {
public:
    void onFrame(const Leap::Controller&) override
    {
        if (gWitness.destroyed)
            std::_Exit(3);
        frames++;
    }
    std::atomic<int> frames{0};
};

TEST(ShutdownDeathTest, ExitStopsARegisteredControllerBeforeStaticsGo)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Never destroyed, so only the witness can tell a callback that came too late;
            // held by globals so the leak checker sees them as reachable.
            auto* listener = new ExitListener;
            exittest::gExitListener = listener;
            exittest::gExitStage = new Stage();
            exittest::gExitStage->StartTracking(
                listener, std::make_unique<Leap::DemoSource>(std::chrono::microseconds(200)));
            GLStuff::RegisterStage(exittest::gExitStage);
            while (listener->frames < 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
