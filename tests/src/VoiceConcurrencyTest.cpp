// The string voice between a plucking thread and the audio thread, under ThreadSanitizer too: it
// reports any write to state the audio thread renders from made outside the server lock.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "src/AudioServer.h"
#include "src/Voices.h"

TEST(VoiceConcurrencyTest, NoteOnAndNoteOffBesideServerPasses)
{
    AudioServer* server = AudioServer::GetInstance();
    Karplus string(0.009f);
    server->AddClient(&string, 0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> output(64);
        while (!stop)
            server->AudioServerCallback(nullptr, output.data(), 64);
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
}
