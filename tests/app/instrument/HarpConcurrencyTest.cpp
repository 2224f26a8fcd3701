// The harp built from two threads at once, and a pluck stalled in its note line beside the window
// thread's work (the three threads together: app_concurrency_test). Also under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "app/instrument/Harp.h"

namespace {

// First in the file: under ctest the harp does not exist yet when both threads ask for it.
TEST(HarpConcurrencyTest, SimultaneousFirstCallsBuildOneHarp)
{
    std::atomic<bool> go{false};
    Harp* seen[2] = {nullptr, nullptr};
    std::thread first([&] {
        while (!go) {
        }
        seen[0] = Harp::GetInstance();
    });
    std::thread second([&] {
        while (!go) {
        }
        seen[1] = Harp::GetInstance();
    });
    go = true;
    first.join();
    second.join();
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0]->GetNumStrings(), 1);
}

// A console that takes nothing (a terminal paused with Ctrl-S) until the test resumes it, or a
// minute has passed.
struct PausedConsole : std::streambuf {
    std::streamsize xsputn(const char*, std::streamsize count) override
    {
        std::unique_lock<std::mutex> hold(lock);
        writing = true;
        changed.notify_all();
        resumedInTime =
            changed.wait_for(hold, std::chrono::seconds(60), [this] { return resumed; });
        return count;
    }
    void Resume()
    {
        std::lock_guard<std::mutex> hold(lock);
        resumed = true;
        changed.notify_all();
    }
    std::mutex lock;
    std::condition_variable changed;
    bool writing = false, resumed = false, resumedInTime = false;
};

TEST(HarpConcurrencyTest, CountingChangingAndDrawingNeverWaitForAPluckInItsNoteLine)
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() > 1)
        harp->RemoveString();
    harp->AddString();
    harp->AddString();
    PausedConsole paused;
    std::streambuf* console = std::cout.rdbuf(&paused);

    // The pluck of the rightmost string stops in its note line.
    std::thread tracking([harp] {
        std::vector<float> burst(512, 0.5f);
        harp->ExciteString(2, 40, 127, burst.data(), 512);
    });
    {
        std::unique_lock<std::mutex> hold(paused.lock);
        paused.changed.wait(hold, [&paused] { return paused.writing; });
    }

    // The window thread's work meanwhile, with that string removed under the pluck.
    const int counted = harp->GetNumStrings();
    harp->RemoveString();
    harp->AddString();
    harp->RemoveString();
    const std::size_t taps = harp->GetBuffers().size();
    paused.Resume();
    tracking.join();
    std::cout.rdbuf(console);

    EXPECT_TRUE(paused.resumedInTime) << "the window thread waited for the pluck";
    EXPECT_EQ(counted, 3);
    EXPECT_EQ(taps, 2u);
    EXPECT_EQ(harp->GetNumStrings(), 2);
}

} // namespace
