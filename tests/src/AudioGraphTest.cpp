// The render cache, the server pass and the mixer, gain and display-tap nodes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "AudioTestSupport.h"
#include "src/AudioServer.h"
#include "src/device/RtAudioDriver.h"
#include "src/nodes/Adder.h"
#include "src/nodes/Multiplier.h"
#include "src/nodes/SampleAccumulator.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

using audiotest::CountingNode;
using audiotest::SignalNode;

// Counts heap allocations, to show that a steady pass makes none.
static std::atomic<long> gAllocations{0};
void* operator new(size_t size)
{
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
// Out of line, so the compiler does not pair the free() with a new-expression it inlined into.
__attribute__((noinline)) void operator delete(void* p) noexcept
{
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { fServer->SetOutputChannels(2); }
    void TearDown() override
    {
        for (auto& entry : fRegistered)
            fServer->RemoveClient(entry.first, entry.second);
    }
    void Register(AudioClient* client, int channel)
    {
        fServer->AddClient(client, channel);
        fRegistered.emplace_back(client, channel);
    }
    // One device block; returns the non-interleaved output of `channels` channels.
    std::vector<float> Pass(unsigned frames, int channels = 2)
    {
        std::vector<float> input(frames, 0.25f), output(frames * channels, -7.0f);
        fServer->AudioServerCallback(input.data(), output.data(), frames);
        return output;
    }
    AudioServer* fServer = AudioServer::GetInstance();
    std::vector<std::pair<AudioClient*, int>> fRegistered;
};

// First, while the process's clock still reads 0 (ctest runs every test in its own process).
TEST_F(ServerTest, FirstPullAtClockZeroRenders)
{
    if (fServer->Time() != 0)
        GTEST_SKIP() << "clock already advanced in this process";
    CountingNode node(3.0f);
    float out[8] = {};
    node.Process(out, 8);
    EXPECT_EQ(node.fRenders, 1);
    EXPECT_EQ(out[7], 10.0f);
}

TEST_F(ServerTest, NodeRendersOncePerBlockForAllConsumers)
{
    CountingNode node;
    Register(&node, 0);
    Register(&node, 1);
    std::vector<float> out = Pass(64);
    EXPECT_EQ(node.fRenders, 1);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 64),
              std::vector<float>(out.begin() + 64, out.end()));
    EXPECT_EQ(out[63], 63.0f);
    Pass(64);
    EXPECT_EQ(node.fRenders, 2);

    // A second pull inside the same block is a copy of the first.
    float again[64];
    node.Process(again, 64);
    node.Process(again, 64);
    EXPECT_EQ(node.fRenders, 3);
    EXPECT_EQ(again[10], 10.0f);
}

TEST_F(ServerTest, CacheFollowsBlockLengthAndZeroFramesRenderNothing)
{
    CountingNode node(1.0f);
    Register(&node, 0);
    Pass(64);
    std::vector<float> out = Pass(128);
    EXPECT_EQ(node.fFrames, (std::vector<int>{64, 128}));
    EXPECT_EQ(out[127], 128.0f);
    Pass(0);
    EXPECT_EQ(node.fRenders, 2);
}

TEST_F(ServerTest, ClockAdvancesAfterEachWholePass)
{
    CountingNode node;
    Register(&node, 0);
    const int start = fServer->Time();
    for (int i = 0; i < 3; ++i)
        Pass(256);
    EXPECT_EQ(node.fTimes, (std::vector<int>{start, start + 256, start + 512}));
    EXPECT_EQ(fServer->Time(), start + 768);
}

// After 2^32 frames (27 hours at 44100 Hz) the clock wraps; a node still renders once a block.
TEST_F(ServerTest, RenderCacheHoldsAcrossTheClockWrap)
{
    // Without channels a pass only moves the clock, so the wrap comes in milliseconds.
    fServer->SetInputChannels(0);
    fServer->SetOutputChannels(0);
    const uint32_t target = 0u - 512u; // two blocks before the wrap
    auto left = [&] { return target - static_cast<uint32_t>(fServer->Time()); };
    float none[1];
    while (left() > 0)
        fServer->AudioServerCallback(nullptr, none,
                                     std::min<uint32_t>(left(), AudioServer::kMaxBlockFrames));
    fServer->SetInputChannels(1);
    fServer->SetOutputChannels(2);

    CountingNode node(2.0f);
    Register(&node, 0);
    Register(&node, 1);
    for (int block = 0; block < 4; ++block) {
        std::vector<float> out = Pass(256);
        ASSERT_EQ(out[255], 257.0f) << block;
        ASSERT_EQ(out[511], 257.0f) << block;
    }
    EXPECT_EQ(node.fTimes, (std::vector<int>{-512, -256, 0, 256}));
}

TEST_F(ServerTest, ChannelsSumInRegistrationOrderAndSilentChannelsAreZero)
{
    // (1e8 + 1) - 1e8 is 0 in single precision, while 1e8 - 1e8 + 1 is 1: the order shows.
    std::vector<int> order;
    SignalNode big({1e8f}), one({1.0f}), minusBig({-1e8f});
    CountingNode first(0, &order, 1), second(0, &order, 2);
    Register(&big, 0);
    Register(&one, 0);
    Register(&minusBig, 0);
    Register(&first, 2);
    Register(&second, 2);
    fServer->SetOutputChannels(3);
    std::vector<float> out = Pass(16, 3);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[16], 0.0f); // channel 1: no clients
    EXPECT_EQ(out[47], 2.0f * 15.0f);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // With two output channels, the client on channel 2 is never pulled.
    fServer->SetOutputChannels(2);
    Pass(16);
    EXPECT_EQ(first.fRenders, 1);
}

TEST_F(ServerTest, RegistrationRefusesDuplicatesAndIgnoresAbsentEntries)
{
    CountingNode node(1.0f), other(5.0f);
    fServer->AddClient(&node, 0);
    fServer->AddClient(&node, 0);
    EXPECT_EQ(Pass(4)[0], 1.0f);
    fServer->RemoveClient(&other, 0);
    fServer->RemoveClient(&other, 7);
    EXPECT_EQ(Pass(4)[0], 1.0f);
    fServer->RemoveClient(&node, 0);
    EXPECT_EQ(Pass(4)[0], 0.0f);
}

TEST_F(ServerTest, LongBlocksBecomeFullPassesWithinTheScratchBound)
{
    CountingNode node;
    Register(&node, 0);
    Register(&node, 1);
    const unsigned frames = 2 * AudioServer::kMaxBlockFrames + 100;
    const int start = fServer->Time();
    std::vector<float> out = Pass(frames);
    EXPECT_EQ(node.fFrames, (std::vector<int>{4096, 4096, 100}));
    EXPECT_EQ(node.fTimes, (std::vector<int>{start, start + 4096, start + 8192}));
    EXPECT_EQ(fServer->Time(), start + static_cast<int>(frames));
    EXPECT_EQ(out[4096 + 5], 5.0f);
    EXPECT_EQ(out[frames + 8192 + 99], 99.0f); // channel 1, third pass
}

#if defined(__SSE__) || defined(__x86_64__)
class CsrNode final : public AudioClient {
public:
    void Render(float*, int) override { fCsr = _mm_getcsr(); }
    unsigned fCsr = 0;
};

TEST_F(ServerTest, PassFlushesDenormalsAndRestoresTheThreadsMode)
{
    CsrNode node;
    Register(&node, 0);
    const unsigned before = _mm_getcsr();
    Pass(16);
    EXPECT_EQ(node.fCsr & 0x8040u, 0x8040u);
    EXPECT_EQ(_mm_getcsr(), before);
}
#endif

// A string added while the stream runs is first pulled inside a pass; so is the process's first
// block. Neither, nor a steady pass, may allocate on the audio thread.
TEST_F(ServerTest, PassesAllocateNothingFromTheFirst)
{
    SignalNode a({0.5f, -0.5f, 0.25f}), b({0.125f});
    SampleAccumulator tapA, tapB;
    tapA.SetInput(&a);
    tapB.SetInput(&b);
    tapA.SetSamplesPerPixel(6);
    Adder mixer(0.0f);
    mixer.AddInput(&tapA);
    mixer.AddInput(&tapB);
    Multiplier gain(&mixer, nullptr, 0.5f);
    Register(&gain, 0);
    Register(&gain, 1);
    // Nor the longest block the driver hands over (JACK at -p 8192), input copy included.
    const unsigned longest = RtAudioDriver::kMaxSilentFrames;
    std::vector<float> input(longest, 0.25f), output(2 * longest);
    const long before = gAllocations;
    fServer->AudioServerCallback(input.data(), output.data(), 256);
    EXPECT_EQ(output[0], 0.3125f);
    EXPECT_EQ(output[257], -0.1875f);
    fServer->AudioServerCallback(input.data(), output.data(), longest);
    for (int i = 0; i < 100; ++i)
        fServer->AudioServerCallback(input.data(), output.data(), 256);
    EXPECT_EQ(gAllocations - before, 0);
}

// Nodes, pulled directly. Between blocks an empty one-frame pass moves the clock on.
void NextBlock()
{
    float input[1] = {}, output[16];
    AudioServer::GetInstance()->AudioServerCallback(input, output, 1);
}

TEST(AdderTest, SumsInputsOnceEachPlusOffset)
{
    Adder empty(0.75f);
    float out[4];
    empty.Process(out, 4);
    EXPECT_EQ(out[3], 0.75f);

    CountingNode x(1.0f), y(10.0f);
    Adder mixer(0.0f);
    mixer.AddInput(&x);
    mixer.AddInput(&y);
    mixer.AddInput(&x);
    mixer.Process(out, 4);
    EXPECT_EQ(out[0], 11.0f);
    EXPECT_EQ(out[3], 17.0f);
}

TEST(AdderTest, RemovingKeepsTheOthersInOrder)
{
    std::vector<int> order;
    CountingNode a(0, &order, 1), b(0, &order, 2), c(0, &order, 3), stranger;
    Adder mixer(0.0f);
    mixer.AddInput(&a);
    mixer.AddInput(&b);
    mixer.AddInput(&c);
    mixer.RemoveInput(&stranger);
    mixer.RemoveInput(&b);
    float out[2];
    mixer.Process(out, 2);
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_EQ(out[1], 2.0f);
}

TEST(MultiplierTest, ConstantGainSignalGainAndNoInput)
{
    SignalNode one({1.0f}), ramp({2.0f, 3.0f});
    float out[2] = {9.0f, 9.0f};
    Multiplier silent(nullptr, &ramp, 4.0f);
    silent.Process(out, 2);
    EXPECT_EQ(out[1], 0.0f);

    Multiplier harpGain(&one, nullptr, 1.0f);
    harpGain.SetVal(1.0f / 12.0f);
    harpGain.Process(out, 2);
    EXPECT_EQ(out[0], 0.083333336f);

    SignalNode half({0.5f});
    Multiplier modulated(&half, &ramp, 100.0f);
    modulated.Process(out, 2);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 1.5f);
}

TEST(SampleAccumulatorTest, FirstBlockAtSixSamplesPerPixel)
{
    SignalNode peaks({0.01f, 0.5f, -0.02f, -0.25f, 0.1f, 0.0f});
    SampleAccumulator tap;
    tap.SetInput(&peaks);
    tap.SetSamplesPerPixel(6);
    float out[256];
    tap.Process(out, 256);
    std::deque<std::pair<float, float>> pairs = tap.Get();
    ASSERT_EQ(pairs.size(), 42u);
    EXPECT_EQ(pairs[1], std::make_pair(0.5f, -0.25f));
    EXPECT_EQ(out[3], -0.25f);
    EXPECT_TRUE(tap.Get().empty());
}

TEST(SampleAccumulatorTest, MatchesTheGroupingAcrossBlocksAndRatesAndPassesThrough)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(-1.0f, 1.0f);
    std::vector<float> signal(5000);
    for (float& s : signal)
        s = level(random);
    SignalNode source(signal);
    SampleAccumulator tap;
    tap.SetInput(&source);
    audiotest::ReferenceTap reference;
    std::vector<std::pair<float, float>> collected;
    const int blocks[] = {256, 1, 7, 300, 64, 5, 512};
    const int rates[] = {6, 6, 1, 3, 12, 0, 2};
    size_t position = 0;
    for (int b = 0; b < 7; ++b) {
        tap.SetSamplesPerPixel(rates[b]);
        NextBlock();
        std::vector<float> out(blocks[b]);
        tap.Render(out.data(), blocks[b]);
        ASSERT_EQ(0, std::memcmp(out.data(), &signal[position], blocks[b] * sizeof(float)));
        reference.Take(out.data(), blocks[b], rates[b]);
        position += blocks[b];
        for (auto& pair : tap.Get())
            collected.push_back(pair);
    }
    EXPECT_EQ(collected, reference.pairs);
}

TEST(SampleAccumulatorTest, FullQueueKeepsTheNewestPairs)
{
    std::vector<float> signal(20000);
    for (size_t k = 0; k < signal.size(); ++k)
        signal[k] = static_cast<float>(k);
    SignalNode source(signal);
    SampleAccumulator tap;
    tap.SetInput(&source);
    tap.SetSamplesPerPixel(1);
    std::vector<float> out(4000);
    for (int b = 0; b < 5; ++b) {
        NextBlock();
        tap.Render(out.data(), 4000);
    }
    std::deque<std::pair<float, float>> pairs = tap.Get();
    ASSERT_EQ(pairs.size(), static_cast<size_t>(SampleAccumulator::kCapacity));
    // A frame after a stall draws at most a tenth of a second at the harp's 6 samples per pixel.
    EXPECT_LE(pairs.size() * 6, 44100u / 10);
    // With one sample per pixel, pair k holds sample k - 1; the newest is sample 19998.
    EXPECT_EQ(pairs.back().first, 19998.0f);
    EXPECT_EQ(pairs.front().first, 19999.0f - SampleAccumulator::kCapacity);
}

TEST(SampleAccumulatorTest, WithoutInputOutputsSilenceAndNoPairs)
{
    SampleAccumulator tap;
    float out[64];
    std::fill(out, out + 64, 3.0f);
    tap.Process(out, 64);
    EXPECT_EQ(*std::max_element(out, out + 64), 0.0f);
    EXPECT_TRUE(tap.Get().empty());
}

} // namespace
