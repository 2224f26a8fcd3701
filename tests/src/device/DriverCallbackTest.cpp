// The stream callback's path into the audio server, without a device.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "src/AudioServer.h"
#include "src/device/RtAudioDriver.h"

namespace {

constexpr unsigned int kFrames = 256;

// Sample k of block b is b * 1000 + k + 1, so each block is recognisable.
class BlockCounter : public AudioClient {
public:
    void Render(float* buffer, int frames) override
    {
        for (int k = 0; k < frames; ++k) {
            buffer[k] = static_cast<float>(fBlocks * 1000 + k + 1);
        }
        ++fBlocks;
    }
    int fBlocks = 0;
};

class DriverCallbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = AudioServer::GetInstance();
        server->SetOutputChannels(2);
        server->AddClient(&client, 0);
        server->AddClient(&client, 1);
    }
    void TearDown() override
    {
        server->RemoveClient(&client, 0);
        server->RemoveClient(&client, 1);
    }

    int Call(float* output, float* input, unsigned int frames, RtAudioStreamStatus status = 0)
    {
        return RtAudioDriver::callback(output, input, frames, 0.0, status, state.get());
    }

    AudioServer* server = nullptr;
    BlockCounter client;
    std::unique_ptr<RtAudioDriver::StreamState> state =
        std::make_unique<RtAudioDriver::StreamState>();
};

TEST_F(DriverCallbackTest, HandsTheBlockToTheServerAndKeepsTheStreamRunning)
{
    std::vector<float> output(2 * kFrames, -7.0f);
    std::vector<float> input(kFrames, 0.25f);
    const int timeBefore = server->Time();

    EXPECT_EQ(Call(output.data(), input.data(), kFrames), 0);

    EXPECT_EQ(server->Time() - timeBefore, static_cast<int>(kFrames));
    EXPECT_EQ(client.fBlocks, 1);
    for (unsigned int k = 0; k < kFrames; ++k) {
        ASSERT_FLOAT_EQ(output[k], static_cast<float>(k + 1)) << k;
        ASSERT_FLOAT_EQ(output[kFrames + k], output[k]) << k;
    }
    // Past the block: silence.
    std::vector<float> copy(kFrames + 8, -1.0f);
    server->GetInput(copy.data(), kFrames + 8, 0);
    input.resize(kFrames + 8, 0.0f);
    EXPECT_EQ(copy, input);
}

TEST_F(DriverCallbackTest, OutputOnlyStreamGivesTheServerSilenceOnEveryInputChannel)
{
    // The longest block the server runs for, on two input channels.
    const unsigned int frames = RtAudioDriver::kMaxSilentFrames;
    std::vector<float> output(2 * frames);
    std::vector<float> input(2 * frames, 0.5f);
    server->SetInputChannels(2);
    Call(output.data(), input.data(), frames);
    const int blocks = client.fBlocks;

    EXPECT_EQ(Call(output.data(), nullptr, frames), 0);

    EXPECT_GT(client.fBlocks, blocks);
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<float> copy(frames, -1.0f);
        server->GetInput(copy.data(), static_cast<int>(frames), channel);
        EXPECT_EQ(copy, std::vector<float>(frames, 0.0f)) << channel;
    }
    server->SetInputChannels(1);
}

TEST_F(DriverCallbackTest, BlockLongerThanTheSilenceIsPlayedSilent)
{
    const unsigned int frames = RtAudioDriver::kMaxSilentFrames + 1;
    std::vector<float> output(2 * frames, 3.0f);
    EXPECT_EQ(Call(output.data(), nullptr, frames), 0);
    EXPECT_EQ(output, std::vector<float>(2 * frames, 0.0f));
}

TEST_F(DriverCallbackTest, FailedStreamPlaysSilenceWithoutRunningTheServerUntilItIsClosed)
{
    // A lost stream calls back as fast as the CPU allows until the supervisor closes it: none
    // of those blocks may advance the strings or hold the server lock.
    std::vector<float> output(2 * kFrames, 5.0f);
    std::vector<float> input(kFrames);
    const int timeBefore = server->Time();
    state->fFailed = true;
    for (int block = 0; block < 3; ++block) {
        EXPECT_EQ(Call(output.data(), input.data(), kFrames), 0);
        EXPECT_EQ(Call(output.data(), nullptr, kFrames), 0);
    }
    EXPECT_EQ(server->Time(), timeBefore);
    EXPECT_EQ(client.fBlocks, 0);
    EXPECT_EQ(output, std::vector<float>(2 * kFrames, 0.0f));

    // Reopened: the next block is the server's again.
    state->fFailed = false;
    Call(output.data(), input.data(), kFrames);
    EXPECT_EQ(client.fBlocks, 1);
    EXPECT_FLOAT_EQ(output[0], 1.0f);
}

TEST_F(DriverCallbackTest, CountsOutputUnderflowsOnly)
{
    std::vector<float> output(2 * kFrames);
    std::vector<float> input(kFrames);
    Call(output.data(), input.data(), kFrames, RTAUDIO_OUTPUT_UNDERFLOW);
    Call(output.data(), input.data(), kFrames, RTAUDIO_INPUT_OVERFLOW);
    Call(output.data(), input.data(), kFrames, 0);
    Call(output.data(), nullptr, kFrames, RTAUDIO_INPUT_OVERFLOW | RTAUDIO_OUTPUT_UNDERFLOW);
    EXPECT_EQ(state->fUnderflows.load(), 2u);
}

TEST(UnderflowCount, ALateBlockAndTheFlagsInTheGlitchWindowAfterItAreOneGlitch)
{
    // Blocks 5 ns apart, then block 3 after `gap` (late beyond 40 ns), then a flag `flagAfter`
    // blocks after block 3 (0: none).
    const unsigned long window = RtAudioDriver::kGlitchBlocks;
    struct Case {
        std::int64_t gap;
        unsigned long flagAfter, underflows;
    };
    for (const Case c : {Case{40, 0, 0}, Case{1000, 0, 1}, Case{41, 1, 1}, Case{41, window, 1},
                         Case{41, window + 1, 2}}) {
        auto state = std::make_unique<RtAudioDriver::StreamState>();
        state->fLateNs = 40;
        std::int64_t now = 1;
        for (unsigned long block = 1; block <= 3 + c.flagAfter; ++block) {
            const bool flagged = c.flagAfter > 0 && block == 3 + c.flagAfter;
            RtAudioDriver::CountUnderflows(*state, flagged ? RTAUDIO_OUTPUT_UNDERFLOW : 0, block,
                                           now += block == 3 ? c.gap : 5);
        }
        EXPECT_EQ(state->fUnderflows.load(), c.underflows) << c.gap << ", " << c.flagAfter;
    }
}

} // namespace
