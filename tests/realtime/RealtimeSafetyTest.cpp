// The audio pass under the realtime sanitizer (built with QUORVEL_RTSAN): inside a pass, any
// allocation, free, file or console I/O, sleep or lock other than the server lock and a tap's
// own lock ends the process with the sanitizer's report, which fails the test. This runtime
// does not symbolize its stack: `addr2line -f -C -i -e <test binary> <offsets>` does.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/HarpListener.h"
#include "src/AudioServer.h"
#include "src/Voices.h"
#include "src/nodes/SampleAccumulator.h"
#include "support/ThreadsTogether.h"
#include "tracking/DemoSource.h"
#include "tracking/Leap.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kFrames = 256;
constexpr float kFs = 44100.0f;
// One device block: 256 frames at 44100 Hz.
constexpr auto kBlockPeriod = std::chrono::nanoseconds(5804989);

// The window thread: drains every tap once a frame, walks the string count up to 30 and back
// down to 1, one string each 96 ms, and changes the scale each second.
void RunWindow(Clock::time_point end, std::atomic<long>& changes, std::atomic<long>& pairs)
{
    using namespace GLStuff;
    const ScaleChoice scales[] = {
        {gPentatonicMinor, 5}, {gDiatonic, 7}, {gWholeTone, 6}, {gPentatonicMajor, 5}};
    Harp* harp = Harp::GetInstance();
    int direction = 1;
    int frame = 0;
    for (auto next = Clock::now(); next < end; next += std::chrono::milliseconds(16), ++frame) {
        std::this_thread::sleep_until(next);
        for (SampleAccumulator* tap : harp->GetBuffers())
            pairs += static_cast<long>(tap->Get().size());
        if (frame % 60 == 59)
            SetScale(scales[frame / 60 % 4].table, scales[frame / 60 % 4].count);
        if (frame % 6 != 0)
            continue;
        const int count = harp->GetNumStrings();
        if (count == Harp::kMaxStrings)
            direction = -1;
        if (count == Harp::kMinStrings)
            direction = 1;
        if (direction > 0) {
            harp->AddString();
        } else {
            harp->RemoveString();
        }
        ++changes;
    }
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// The built-in demo performance, through the tracking controller, the listener and the pluck
// detector, as the program plays it.
TEST(RealtimeSafetyTest, TenSecondsOfTheDemoPerformanceInsideRealtimePasses)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetFs(kFs);
    server->SetOutputChannels(2);
    std::ostringstream played; // the tracking thread's lines: fingers, "trig", the notes
    std::streambuf* console = std::cout.rdbuf(played.rdbuf());

    // The device runs from the start; the harp is built by the first pluck or redraw, while
    // passes already run.
    const long blocks = std::lround(10.0 * kFs / kFrames);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + blocks * kBlockPeriod;
    float peak = 0.0f;
    long mismatched = 0;
    std::vector<float> input(kFrames), output(2 * kFrames);
    long block = 0;
    testsupport::ThreadsTogether threads;
    threads.Loop([&] {
        std::this_thread::sleep_until(start + block * kBlockPeriod);
        server->AudioServerCallback(input.data(), output.data(), kFrames);
        for (unsigned k = 0; k < kFrames; ++k) {
            peak = std::max(peak, std::fabs(output[k]));
            mismatched += output[k] != output[kFrames + k];
        }
        return ++block < blocks;
    });
    std::atomic<long> changes{0}, pairs{0};
    {
        Leap::Controller tracking(&listener, std::make_unique<Leap::DemoSource>());
        threads.Loop([&] {
            RunWindow(end, changes, pairs);
            return false;
        });
        EXPECT_EQ(threads.Wait(), 0);
    }
    std::cout.rdbuf(console);

    // Reaching here means no pass broke the rules; the rest shows the performance was played.
    const std::string lines = played.str();
    std::cerr << "passes " << blocks << ", plucks " << Count(lines, "note: ") << ", string changes "
              << changes << ", display pairs " << pairs << ", peak " << peak << "\n";
    EXPECT_GT(Count(lines, "note: "), 20u) << lines;
    EXPECT_GT(changes, 50);
    EXPECT_GT(pairs, 0);
    EXPECT_GT(peak, 0.01f);
    EXPECT_LE(peak, Harp::kOutputGain * 30);
    EXPECT_EQ(mismatched, 0);
}

// A node that breaks one rule in its render.
enum class Violation { kAllocate, kFree, kForeignLock, kSleep, kConsole };

class RuleBreaker final : public AudioClient {
public:
    explicit RuleBreaker(Violation violation) : fViolation(violation), fKept(new float[16]) {}
    ~RuleBreaker()
    {
        delete[] fKept;
        delete[] fAllocated;
    }
    void Render(float* buffer, int frames) override
    {
        switch (fViolation) {
        case Violation::kAllocate:
            fAllocated = new float[static_cast<size_t>(frames)];
            break;
        case Violation::kFree:
            delete[] fKept;
            fKept = nullptr;
            break;
        case Violation::kForeignLock: {
            std::lock_guard<std::mutex> hold(fForeign);
            buffer[0] = 1.0f;
            break;
        }
        case Violation::kSleep:
            std::this_thread::sleep_for(std::chrono::microseconds(1));
            break;
        case Violation::kConsole:
            std::cout << "rendering" << std::flush;
            break;
        }
    }

private:
    Violation fViolation;
    float* fKept;
    float* fAllocated = nullptr;
    std::mutex fForeign;
};

// One pass pulling a display tap (its own lock, allowed) on channel 0, then the rule breaker on
// channel 1: the exemption of the tap's lock must not cover what follows it.
void PassWith(Violation violation)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(2);
    Karplus string(0.009f);
    SampleAccumulator tap;
    tap.SetInput(&string);
    tap.SetSamplesPerPixel(6);
    RuleBreaker breaker(violation);
    server->AddClient(&tap, 0);
    server->AddClient(&breaker, 1);
    float input[kFrames] = {}, output[2 * kFrames];
    server->AudioServerCallback(input, output, kFrames);
    server->RemoveClient(&breaker, 1);
    server->RemoveClient(&tap, 0);
}

TEST(RealtimeSanitizerTest, EachBrokenRuleInsideAPassIsReportedAndEndsTheRun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* kReport = "Real-time violation: intercepted call to real-time unsafe function ";
    EXPECT_EXIT(PassWith(Violation::kAllocate), testing::ExitedWithCode(1),
                std::string(kReport) + "`malloc`");
    EXPECT_EXIT(PassWith(Violation::kFree), testing::ExitedWithCode(1),
                std::string(kReport) + "`free`");
    EXPECT_EXIT(PassWith(Violation::kForeignLock), testing::ExitedWithCode(1),
                std::string(kReport) + "`pthread_mutex_lock`");
    EXPECT_EXIT(PassWith(Violation::kSleep), testing::ExitedWithCode(1),
                std::string(kReport) + "`nanosleep`");
    EXPECT_EXIT(PassWith(Violation::kConsole), testing::ExitedWithCode(1),
                std::string(kReport) + "`fwrite`");
}

// After a pass the thread is an ordinary thread again, whatever locks the pass took.
TEST(RealtimeSanitizerTest, TheSameWorkAfterAPassIsNotReported)
{
    AudioServer* server = AudioServer::GetInstance();
    Karplus string(0.009f);
    SampleAccumulator tap;
    tap.SetInput(&string);
    server->AddClient(&tap, 0);
    float input[kFrames] = {}, output[2 * kFrames];
    server->AudioServerCallback(input, output, kFrames);
    server->RemoveClient(&tap, 0);
    for (Violation violation :
         {Violation::kAllocate, Violation::kFree, Violation::kForeignLock, Violation::kSleep}) {
        RuleBreaker breaker(violation);
        breaker.Render(output, kFrames);
    }
}

} // namespace
