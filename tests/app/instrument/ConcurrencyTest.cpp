#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/instrument/HarpListener.h"
#include "support/ThreadsTogether.h"
#include "tracking/DemoSource.h"

using apptest::lines;

namespace {

// The instrument's three threads at once, sped up: the demo performance plays into the listener
// (tracking thread) while a "window" thread changes the scale, adds and removes strings, reads
// the tracks as the display does and drains the taps, and an "audio" thread renders blocks.
TEST(TrackingConcurrency, DemoPlaysWhileScalesAndStringsChangeAndAudioRenders)
{
    apptest::freshStrings(10);
    apptest::clearTracks();
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(2);

    testing::internal::CaptureStdout();
    testsupport::ThreadsTogether threads;
    std::vector<float> input(8192), output(2 * 8192);
    long pass = 0;
    const std::atomic<long>& blocks = threads.Loop([&] {
        // Mostly device-sized blocks, now and then one longer than a pass can hold.
        const unsigned frames = pass++ % 64 == 63 ? 5000 : 256;
        server->AudioServerCallback(input.data(), output.data(), frames);
        return true;
    });
    std::atomic<long> tracksSeen{0};
    const GLStuff::ScaleChoice scales[] = {{GLStuff::gPentatonicMajor, 5},
                                           {GLStuff::gPentatonicMinor, 5},
                                           {GLStuff::gDiatonic, 7},
                                           {GLStuff::gWholeTone, 6}};
    Harp* harp = Harp::GetInstance();
    bool adding = false;
    long step = 0;
    const std::atomic<long>& changes = threads.Loop([&] {
        GLStuff::SetScale(scales[step % 4].table, scales[step % 4].count);
        ++step;
        if (harp->GetNumStrings() == Harp::kMaxStrings || harp->GetNumStrings() == 1)
            adding = !adding;
        adding ? harp->AddString() : harp->RemoveString();
        {
            std::lock_guard<std::mutex> hold(GLStuff::gLock);
            for (const auto& entry : GLStuff::gFingers)
                tracksSeen += entry.second.fX > -10.0f && entry.second.fNearness < 10.0f;
        }
        for (SampleAccumulator* tap : harp->GetBuffers())
            tap->Get();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        return true;
    });
    {
        Leap::Controller controller(
            &listener, std::make_unique<Leap::DemoSource>(std::chrono::microseconds(500)));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    EXPECT_EQ(threads.Stop(), 0);
    GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
    const auto out = lines(testing::internal::GetCapturedStdout());

    int trigs = 0;
    int notes = 0;
    for (const std::string& line : out) {
        if (line == "trig") {
            ++trigs;
        } else if (line.rfind("note: ", 0) == 0) {
            ++notes;
            const int note = std::stoi(line.substr(6));
            EXPECT_GE(note, 32);
            EXPECT_LE(note, 102);
        }
    }
    EXPECT_GT(trigs, 0);
    EXPECT_LE(notes, trigs); // a pluck of a string removed meanwhile is dropped
    EXPECT_GT(blocks.load(), 0);
    EXPECT_GT(changes.load(), 0);
    EXPECT_GT(tracksSeen.load(), 0);
    EXPECT_EQ(out.front(), "Initialized");
}

} // namespace
