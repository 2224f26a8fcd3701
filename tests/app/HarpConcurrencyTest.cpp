// The harp under its three threads: plucks (tracking), string changes and display collection
// (window), and server passes (audio). Meant to run under ThreadSanitizer as well.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "AudioServer.h"
#include "Harp.h"
#include "SampleAccumulator.h"
#include "support/ThreadsTogether.h"

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

TEST(HarpConcurrencyTest, PlucksStringChangesAndPassesTogether)
{
    Harp* harp = Harp::GetInstance();
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(2);

    // The note lines of thousands of plucks go nowhere; only the plucking thread prints.
    std::ostringstream swallowed;
    std::streambuf* console = std::cout.rdbuf(swallowed.rdbuf());

    testsupport::ThreadsTogether threads;
    std::atomic<long> refused{0}, pairs{0};
    std::mt19937 trackingRandom(1);
    std::vector<float> burst(512);
    const std::atomic<long>& plucks = threads.Loop([&] {
        try {
            // Indices up to the count just read: the top one is invalid, and any other may
            // become invalid before the pluck lands.
            const int count = harp->GetNumStrings();
            const int string = std::uniform_int_distribution<int>(0, count)(trackingRandom);
            for (int j = 0; j < 512; ++j)
                burst[j] = j < 256 ? j / 256.0f : 1.0f - (j - 256) / 256.0f;
            harp->ExciteString(string, 32 + string, 127, burst.data(), 512);
        } catch (const std::out_of_range&) {
            ++refused;
        }
        return true;
    });
    std::mt19937 windowRandom(2);
    const std::atomic<long>& changes = threads.Loop([&] {
        if (std::uniform_int_distribution<int>(0, 1)(windowRandom)) {
            harp->AddString();
        } else {
            harp->RemoveString();
        }
        for (SampleAccumulator* tap : harp->GetBuffers())
            pairs += static_cast<long>(tap->Get().size());
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return true;
    });
    std::vector<float> input(8192), output(2 * 8192);
    long pass = 0;
    const std::atomic<long>& passes = threads.Loop([&] {
        // Mostly device-sized blocks, now and then one longer than a pass can hold.
        const unsigned frames = pass++ % 64 == 63 ? 5000 : 256;
        server->AudioServerCallback(input.data(), output.data(), frames);
        return true;
    });

    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int escaped = threads.Stop();
    std::cout.rdbuf(console);

    EXPECT_EQ(escaped, 0);
    EXPECT_GT(plucks, 0);
    EXPECT_GT(refused, 0);
    EXPECT_GT(changes, 0);
    EXPECT_GT(pairs, 0);
    EXPECT_GT(passes, 0);
    const int strings = harp->GetNumStrings();
    EXPECT_GE(strings, Harp::kMinStrings);
    EXPECT_LE(strings, Harp::kMaxStrings);
    EXPECT_EQ(harp->GetBuffers().size(), static_cast<size_t>(strings));
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
