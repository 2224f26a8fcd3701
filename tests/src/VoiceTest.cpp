// The excitation interpolator and the plucked-string voice.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "src/AudioServer.h"
#include "src/Interpolator.h"
#include "src/Voices.h"

namespace {

using audiotest::ReferenceNoise;

constexpr uint32_t kMask = Karplus::kMaxSize - 1;

// Renders `frames` samples of the string outside any server pass.
std::vector<float> RenderString(Karplus& string, int frames)
{
    std::vector<float> out(frames);
    string.Render(out.data(), frames);
    return out;
}

// A string plucked with noise from rand() seeded with `seed`, and with `burst` (512 samples) if
// given; the note line is swallowed.
void PluckWithNoise(Karplus& string, int note, unsigned seed, int velocity = 127,
                    float* burst = nullptr)
{
    srand(seed);
    testing::internal::CaptureStdout();
    string.NoteOn(note, velocity, burst, burst ? 512 : 0);
    testing::internal::GetCapturedStdout();
}

audiotest::ReferenceString CopyOf(const Karplus& string)
{
    const float* ring = string.DelayLine();
    std::vector<float> copy(ring, ring + Karplus::kMaxSize);
    return {copy,           string.ReadPosition(), string.WritePosition(),
            string.Decay(), string.Amplitude(),    string.Allpass()};
}

TEST(InterpolatorTest, OrdersZeroToFour)
{
    const float two[] = {0.0f, 10.0f};
    EXPECT_FLOAT_EQ(Interpolator(1).Interpolate(two, 0.25, 2), 2.5f);
    EXPECT_FLOAT_EQ(Interpolator(1).Interpolate(two, 1.5, 2), 5.0f); // wraps to the first sample
    EXPECT_EQ(Interpolator(1).Interpolate(two, 1.0, 2), 10.0f);
    const float squares[] = {0.0f, 1.0f, 4.0f};
    EXPECT_FLOAT_EQ(Interpolator(2).Interpolate(squares, 0.5, 3), 0.25f);
    const float cubes[] = {0.0f, 1.0f, 8.0f, 27.0f};
    EXPECT_FLOAT_EQ(Interpolator(3).Interpolate(cubes, 0.5, 4), 0.125f);
    // From position 2.5 the window runs 8, 27 and wraps to 0, 1.
    EXPECT_FLOAT_EQ(Interpolator(3).Interpolate(cubes, 2.5, 4), 27.875f);
    EXPECT_EQ(Interpolator(0).Interpolate(cubes, 2.9, 4), 8.0f);
    EXPECT_EQ(Interpolator(4).Interpolate(cubes, 1.2, 4), 1.0f);
}

TEST(KarplusTest, SilentUntilExcited)
{
    Karplus string(0.009f);
    EXPECT_EQ(string.Length(), 396);
    for (float s : RenderString(string, 1000))
        ASSERT_EQ(s, 0.0f);
}

TEST(KarplusTest, NoiseNoteOnRetunesAndFillsOnePeriod)
{
    Karplus string(0.009f);
    RenderString(string, 37);
    const uint32_t readPos = string.ReadPosition();
    PluckWithNoise(string, 69, 42, 127);
    EXPECT_EQ(string.Length(), 98);
    EXPECT_EQ(string.ReadPosition(), readPos);
    EXPECT_EQ(string.WritePosition(), readPos + 98);
    EXPECT_EQ(string.Duration(), 9800);
    EXPECT_EQ(string.Decay(), 0.99f);
    EXPECT_EQ(string.Amplitude(), 1.0f);
    EXPECT_TRUE(string.IsOn());

    // The noise less the offset it leaves in the loop (its sum and the averaging's memory of the
    // last sample): a pluck leaves no DC.
    srand(42);
    std::vector<float> noise(98);
    for (float& n : noise)
        n = ReferenceNoise();
    const double offset = (std::accumulate(noise.begin(), noise.end(), 0.0) + noise[97]) / 99;
    std::vector<float> out = RenderString(string, 98);
    for (int i = 0; i < 98; ++i) {
        ASSERT_NEAR(out[i], noise[i] - offset, 1e-6) << i;
        ASSERT_TRUE(std::fabs(noise[i]) < 1.0f || std::fabs(noise[i]) == 1.0f);
    }
    EXPECT_EQ(string.SampleCount(), 98);
}

TEST(KarplusTest, RenderIsBitIdenticalToTheStraightforwardLoop)
{
    // A usual period, the one-sample period, and the whole ring (read and write slots coincide);
    // the allpass starts from rest at the excitation, as the reference does.
    for (int period : {100, 1, 0, Karplus::kMaxSize, 849}) {
        Karplus string(0.009f);
        PluckWithNoise(string, 69, 11);
        string.SetLength(period);
        string.Excite();
        audiotest::ReferenceString reference = CopyOf(string);
        const int blocks[] = {256, 1, 255, 4096, 3};
        for (int frames : blocks) {
            std::vector<float> expected(frames);
            reference.Render(expected.data(), frames);
            std::vector<float> out = RenderString(string, frames);
            ASSERT_EQ(0, std::memcmp(out.data(), expected.data(), frames * sizeof(float)))
                << period;
        }
        ASSERT_EQ(0, std::memcmp(string.DelayLine(), reference.ring.data(),
                                 Karplus::kMaxSize * sizeof(float)));
    }
}

// Up to note 96 within 1 cent of the note line's frequency, above within 3 cents: there the
// string dies within a tenth of a second and its decay pulls the resonance a little flat.
TEST(KarplusTest, EveryNoteSoundsTheFrequencyItPrints)
{
    Karplus string(0.009f);
    for (int note = 32; note <= 104; ++note) {
        srand(static_cast<unsigned>(note));
        testing::internal::CaptureStdout();
        string.NoteOn(note, 127, nullptr, 0);
        const std::string line = testing::internal::GetCapturedStdout();
        const std::string start = "note: " + std::to_string(note) + " freq: ";
        ASSERT_EQ(line.rfind(start, 0), 0u) << line;
        const double hz = std::stod(line.substr(start.size()));
        EXPECT_NEAR(hz, 440.0 * std::pow(2.0, (note - 69) / 12.0), 1e-5 * hz) << line;
        const std::vector<float> out = RenderString(string, static_cast<int>(16 * 44100 / hz));
        const double cents = 1200.0 * std::log2(audiotest::FundamentalHz(out, 44100.0, hz) / hz);
        EXPECT_LE(std::fabs(cents), note <= 96 ? 1.0 : 3.0) << "note " << note;
    }
}

// The old note's allpass memory would add a step to the first sample the new loop computes.
TEST(KarplusTest, RetuneOfASoundingStringLeavesNoClick)
{
    Karplus sounding(0.009f), silent(0.009f);
    std::vector<float> loud(512, 2.0f); // clipped to a full-scale period
    PluckWithNoise(sounding, 45, 1, 127, loud.data());
    RenderString(sounding, 1000);
    PluckWithNoise(sounding, 104, 22);
    PluckWithNoise(silent, 104, 22);
    const int period = sounding.Length();
    const std::vector<float> retuned = RenderString(sounding, 2 * period);
    float peak = 0.0f;
    for (int i = 0; i < period; ++i)
        peak = std::fmax(peak, std::fabs(retuned[i]));
    for (int i = period; i < 2 * period; ++i)
        ASSERT_LE(std::fabs(retuned[i]), peak) << i;
    EXPECT_EQ(retuned, RenderString(silent, 2 * period)); // as if never sounded
}

TEST(KarplusTest, PlaysOnAcrossTheCounterWraps)
{
    for (uint32_t wrap : {0x80000000u, 0u}) {
        const uint32_t start = wrap - 3000; // the same ring slots as `start & kMask`
        Karplus nearWrap(0.009f, start), plain(0.009f, start & kMask);
        PluckWithNoise(nearWrap, 45, 5);
        PluckWithNoise(plain, 45, 5);
        for (int block = 0; block < 24; ++block) {
            std::vector<float> a = RenderString(nearWrap, 256), b = RenderString(plain, 256);
            ASSERT_EQ(0, std::memcmp(a.data(), b.data(), 256 * sizeof(float))) << block;
        }
        EXPECT_EQ(nearWrap.ReadPosition(), start + 24 * 256);
        EXPECT_EQ(nearWrap.WritePosition() - nearWrap.ReadPosition(), 399u);
    }
}

// A 512-sample triangle with its apex at `apex`, not starting at 0 so the wrap shows.
std::vector<float> Triangle(int apex)
{
    std::vector<float> burst(512);
    for (int j = 0; j < 512; ++j)
        burst[j] =
            j < apex ? 0.1f + 0.9f * j / apex : 1.0f - static_cast<float>(j - apex) / (512 - apex);
    return burst;
}

// On note 32's line of 847 samples the last sample lies between burst sample 511 and, wrapping,
// sample 0; a very long line locates its points while it excites.
TEST(KarplusTest, BurstIsFittedToOnePeriodOnASilentString)
{
    for (int note : {69, 32, 1}) { // note 1: a period of over 5000 samples
        Karplus string(0.009f);
        std::vector<float> burst = Triangle(200), original = burst;
        PluckWithNoise(string, note, 9, 127, burst.data());
        EXPECT_EQ(burst, original); // a silent string leaves the whole headroom

        const int period = string.Length();
        std::vector<float> out = RenderString(string, period);
        srand(9);
        std::vector<double> added(period);
        for (int i = 0; i < period; ++i) {
            const float noise = ReferenceNoise();
            const double x = static_cast<float>(static_cast<float>(i) / period * 512.0f);
            const int i0 = static_cast<int>(x), i1 = (i0 + 1) % 512;
            added[i] = burst[i0] + (x - i0) * (burst[i1] - burst[i0]) + 0.05 * noise;
        }
        // Less the offset it would leave in the loop: a pluck leaves no DC.
        const double offset =
            (std::accumulate(added.begin(), added.end(), 0.0) + added.back()) / (period + 1);
        for (int i = 0; i < period; ++i) {
            const double expected = std::fmax(-1.0, std::fmin(1.0, added[i] - offset));
            ASSERT_NEAR(out[i], expected, 1e-6) << "note " << note << " sample " << i;
        }
    }
}

TEST(KarplusTest, FullScaleStringLeavesNoHeadroomForTheBurst)
{
    Karplus string(0.009f);
    std::vector<float> loud(512, 2.0f);
    std::fill(loud.begin() + 256, loud.end(), -2.0f);
    PluckWithNoise(string, 69, 1, 127, loud.data()); // clips the period to 1.0 and -1.0
    std::vector<float> before(98);
    for (int i = 0; i < 98; ++i)
        before[i] = string.DelayLine()[(string.ReadPosition() + i) & kMask];
    std::vector<float> burst(512, 0.5f);
    PluckWithNoise(string, 69, 4, 127, burst.data());
    for (float b : burst)
        ASSERT_EQ(b, 0.0f);
    std::vector<float> out = RenderString(string, 98);
    srand(4);
    std::vector<float> noise(98);
    for (float& n : noise)
        n = static_cast<float>(0.05 * ReferenceNoise());
    const double offset = (std::accumulate(noise.begin(), noise.end(), 0.0) + noise[97]) / 99;
    for (int i = 0; i < 98; ++i) {
        const double v = before[i] + (noise[i] - offset);
        ASSERT_NEAR(out[i], std::fmax(-1.0, std::fmin(1.0, v)), 1e-6) << i;
    }
}

TEST(KarplusTest, VelocityZeroIsSilentAndNoteOffDampsOnly)
{
    Karplus string(0.009f);
    PluckWithNoise(string, 69, 8, 0);
    EXPECT_EQ(string.Amplitude(), 0.0f);
    for (float s : RenderString(string, 300))
        ASSERT_EQ(s, 0.0f);
    EXPECT_NE(string.DelayLine()[string.ReadPosition() & kMask], 0.0f);

    PluckWithNoise(string, 69, 8, 127);
    string.NoteOff();
    EXPECT_EQ(string.Decay(), 0.5f);
    EXPECT_EQ(string.Amplitude(), 1.0f);
    EXPECT_EQ(string.Length(), 98);
    EXPECT_FALSE(string.IsOn());
    std::vector<float> out = RenderString(string, 200);
    EXPECT_NE(out[150], 0.0f);
}

TEST(KarplusTest, LengthLimitIsTheRing)
{
    Karplus string(0.009f);
    string.SetLength(Karplus::kMaxSize);
    EXPECT_EQ(string.Length(), Karplus::kMaxSize);
#ifndef NDEBUG
    EXPECT_DEATH(string.SetLength(Karplus::kMaxSize + 1), "length <= fMaxSize");
#endif
}

// Five minutes of silence after one pluck, rendered by server passes.
TEST(KarplusTest, LongDecayHoldsNoSubnormalSamples)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(1);
    Karplus string(0.009f);
    server->AddClient(&string, 0);
    PluckWithNoise(string, 32, 6);
    std::vector<float> input(256), output(256);
    bool subnormalOutput = false;
    for (int block = 0; block < 5 * 60 * 44100 / 256; ++block) {
        server->AudioServerCallback(input.data(), output.data(), 256);
        for (float s : output)
            subnormalOutput |= std::fpclassify(s) == FP_SUBNORMAL;
    }
    server->RemoveClient(&string, 0);
    EXPECT_FALSE(subnormalOutput);
    for (int k = 0; k < Karplus::kMaxSize; ++k)
        ASSERT_NE(std::fpclassify(string.DelayLine()[k]), FP_SUBNORMAL) << k;
}

} // namespace
