// The string voice between a plucking thread and the audio thread. Meant to run under
// ThreadSanitizer, which reports any write the voice makes to rendered state outside the server
// lock.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "AudioServer.h"
#include "Voices.h"

namespace {

TEST(VoiceConcurrencyTest, NoteOnAndNoteOffBesideServerPasses)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(1);
    Karplus string(0.009f);
    server->AddClient(&string, 0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> input(64), output(64);
        while (!stop)
            server->AudioServerCallback(input.data(), output.data(), 64);
    });
    testing::internal::CaptureStdout();
    for (int round = 0; round < 200; ++round) {
        string.NoteOn(57 + round % 24, 127, nullptr, 0);
        string.NoteOff();
    }
    testing::internal::GetCapturedStdout();
    stop = true;
    audio.join();
    server->RemoveClient(&string, 0);
    EXPECT_EQ(string.Decay(), 0.5f);
    EXPECT_FALSE(string.IsOn());
}

} // namespace
