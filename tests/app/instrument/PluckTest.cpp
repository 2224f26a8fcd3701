#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

#include "AppTestSupport.h"
#include "app/instrument/Pluck.h"
#include "app/instrument/StringLayout.h"

using apptest::lines;

namespace {

// Calls the detector (its lines kept off the test's output); returns the notes it played.
std::vector<int> pluck(float x, float y, float z, float lastX)
{
    apptest::HeardNotes::Instance().take();
    testing::internal::CaptureStdout();
    GLStuff::airMotion(x, y, z, lastX, 0.3f);
    testing::internal::GetCapturedStdout();
    return apptest::HeardNotes::Instance().take();
}

class PluckTest : public testing::Test {
protected:
    void SetUp() override
    {
        apptest::freshStrings(10);
        GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
    }
};

TEST_F(PluckTest, ACrossingEndingWithinHalfASpacingPlucksThatStringOnly)
{
    // Ten strings at 0.05, 0.15, ..., 0.95.
    EXPECT_EQ(pluck(0.16f, 0.5f, -1.0f, 0.12f), std::vector<int>{34});
    EXPECT_EQ(pluck(0.12f, 0.5f, -1.0f, 0.16f), std::vector<int>{34});
    EXPECT_TRUE(pluck(0.21f, 0.5f, -1.0f, 0.12f).empty());             // 0.06 from the string
    EXPECT_EQ(pluck(0.26f, 0.5f, -1.0f, 0.02f), std::vector<int>{37}); // crosses 0, 1 and 2
    EXPECT_TRUE(pluck(0.16f, 0.5f, 0.0f, 0.12f).empty());              // on the plane
    EXPECT_TRUE(pluck(0.16f, 0.5f, 30.0f, 0.12f).empty());             // in front of it
    EXPECT_TRUE(pluck(0.16f, 0.5f, -1.0f, 0.16f).empty());             // no movement
    EXPECT_TRUE(pluck(0.16f, 0.5f, std::nanf(""), 0.12f).empty());
    EXPECT_TRUE(pluck(std::nanf(""), 0.5f, -1.0f, 0.12f).empty());

    // Exactly on the computed position counts as the left side.
    const float string1 = 0.1f * 1.0f + 0.1f / 2.0f;
    EXPECT_EQ(pluck(0.16f, 0.5f, -1.0f, string1).size(), 1u);
    EXPECT_EQ(pluck(string1, 0.5f, -1.0f, 0.16f).size(), 1u);
    // So a leftward move that starts there has already passed it.
    EXPECT_TRUE(pluck(0.12f, 0.5f, -1.0f, string1).empty());
}

TEST_F(PluckTest, EachStringIsHeardWhereItIsDrawn)
{
    for (int numStrings : {1, 7, 30}) {
        apptest::freshStrings(numStrings);
        const float spacing = GLStuff::StringSpacing(numStrings);
        for (int i = 0; i < numStrings; ++i) {
            const float drawnX = GLStuff::StringRestX(i, spacing);
            EXPECT_EQ(pluck(drawnX + spacing / 4.0f, 0.5f, -1.0f, drawnX - spacing / 4.0f),
                      std::vector<int>{GLStuff::StringNote(i, GLStuff::CurrentScale())})
                << "string " << i << " of " << numStrings;
        }
    }
}

TEST_F(PluckTest, TheBurstFollowsTheDirectionOfTheSweep)
{
    // Strings 3 and 4 are silent; the tap shows each string's own signal.
    apptest::render(256);
    apptest::tapExtremes(3);
    apptest::tapExtremes(4);
    testing::internal::CaptureStdout();
    GLStuff::airMotion(0.37f, 0.5f, -5.0f, 0.33f, 0.5f); // rightwards over string 3 (0.35)
    GLStuff::airMotion(0.43f, 0.5f, -5.0f, 0.47f, 0.5f); // leftwards over string 4 (0.45)
    testing::internal::GetCapturedStdout();
    // The burst, less its offset, rises from below zero to its apex mid-period when swept
    // rightwards and falls from above zero when swept leftwards: its first fifth tells them apart.
    apptest::render(96);
    const auto [right3, left3] = apptest::tapExtremes(3);
    const auto [right4, left4] = apptest::tapExtremes(4);
    EXPECT_LT(left3, -0.3f);
    EXPECT_LT(right3, 0.2f);
    EXPECT_GT(right4, 0.3f);
    EXPECT_GT(left4, -0.2f);
}

// Touch shapes the tone, not only the level: a slow sweep sounds darker than a brisk one. Heard
// on one string of a silent harp, plucked low (a burst rich in harmonics), as its 2nd to 8th
// harmonics against the fundamental over a whole number of periods.
TEST_F(PluckTest, WithTouchASlowSweepSoundsDarkerThanABriskOne)
{
    const double hz =
        440.0 * std::pow(2.0, (GLStuff::StringPitch(1, GLStuff::CurrentScale()) - 69.0) / 12.0);
    const int periods = 20;
    const int frames =
        static_cast<int>(std::lround(periods * AudioServer::GetInstance()->Fs() / hz));
    const auto brightness = [&](float sweepSpeed) {
        Harp::GetInstance()->Init(); // every string new and silent
        testing::internal::CaptureStdout();
        GLStuff::airMotion(0.16f, 0.05f, -1.0f, 0.12f, 0.5f, sweepSpeed);
        testing::internal::GetCapturedStdout();
        const std::vector<float> sound = apptest::render(frames);
        double fundamental = 0.0, overtones = 0.0;
        for (int harmonic = 1; harmonic <= 8; ++harmonic) {
            std::complex<double> sum;
            for (int n = 0; n < frames; ++n)
                sum += std::polar<double>(sound[n],
                                          -6.283185307179586 * harmonic * periods * n / frames);
            (harmonic == 1 ? fundamental : overtones) += std::abs(sum);
        }
        return overtones / fundamental;
    };
    GLStuff::SetTouch(true);
    const double soft = brightness(GLStuff::kSlowSweep);
    const double hard = brightness(GLStuff::kFastSweep);
    GLStuff::SetTouch(false);
    EXPECT_LT(soft, 0.8 * hard) << soft << " against " << hard; // about 0.69 times
}

TEST_F(PluckTest, AStringThatNoLongerExistsIsDroppedSilently)
{
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(GLStuff::PluckString(10, false, 0.5f));
    EXPECT_NO_THROW(GLStuff::PluckString(25, true, 0.5f));
    const auto out = lines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(out, (std::vector<std::string>{"trig", "trig"}));
}

TEST(PluckNotes, EachScaleMapsTheFirstTenStrings)
{
    struct Case {
        const int* table;
        int count;
        std::vector<int> notes;
    };
    const Case cases[] = {
        {GLStuff::gPentatonicMajor, 5, {32, 34, 37, 39, 41, 44, 46, 49, 51, 53}},
        {GLStuff::gPentatonicMinor, 5, {32, 35, 37, 39, 42, 44, 47, 49, 51, 54}},
        {GLStuff::gDiatonic, 7, {32, 34, 36, 37, 39, 41, 43, 44, 46, 48}},
        {GLStuff::gWholeTone, 6, {32, 34, 36, 38, 40, 42, 44, 46, 48, 50}},
    };
    for (const Case& c : cases)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(GLStuff::StringNote(i, {c.table, c.count}),
                      c.notes[static_cast<std::size_t>(i)])
                << "string " << i << " of a " << c.count << "-note scale";
    EXPECT_EQ(GLStuff::StringNote(29, {GLStuff::gPentatonicMinor, 5}), 102);
}

TEST(PluckNotes, TheScaleIsReadAsOnePair)
{
    GLStuff::SetScale(GLStuff::gDiatonic, 7);
    GLStuff::ScaleChoice scale = GLStuff::CurrentScale();
    EXPECT_EQ(scale.table, GLStuff::gDiatonic);
    EXPECT_EQ(scale.count, 7);
    GLStuff::SetScale(nullptr, 3); // refused: the pair stays as it was
    GLStuff::SetScale(GLStuff::gWholeTone, 0);
    scale = GLStuff::CurrentScale();
    EXPECT_EQ(scale.table, GLStuff::gDiatonic);
    EXPECT_EQ(scale.count, 7);
    GLStuff::SetScale(GLStuff::gPentatonicMajor, 5);
}

TEST(PluckBurst, TheApexFollowsTheHeight)
{
    float burst[GLStuff::kBurstLength];
    GLStuff::FillBurst(0.5f, false, burst);
    EXPECT_FLOAT_EQ(burst[0], 0.0f);
    EXPECT_FLOAT_EQ(burst[255], 255.0f / 256.0f);
    EXPECT_FLOAT_EQ(burst[256], 1.0f);
    EXPECT_FLOAT_EQ(burst[511], 1.0f / 256.0f);

    GLStuff::FillBurst(0.0f, false, burst);
    EXPECT_FLOAT_EQ(burst[0], 1.0f);
    EXPECT_FLOAT_EQ(burst[511], 1.0f / 512.0f);

    GLStuff::FillBurst(1.0f, false, burst);
    EXPECT_FLOAT_EQ(burst[0], 0.0f);
    EXPECT_FLOAT_EQ(burst[511], 511.0f / 512.0f);

    GLStuff::FillBurst(-0.25f, false, burst); // apex at -128
    EXPECT_FLOAT_EQ(burst[0], 0.8f);
    EXPECT_FLOAT_EQ(burst[511], 1.0f - 639.0f / 640.0f);

    float negated[GLStuff::kBurstLength];
    GLStuff::FillBurst(0.3f, true, negated);
    GLStuff::FillBurst(0.3f, false, burst);
    for (int j = 0; j < GLStuff::kBurstLength; ++j)
        ASSERT_EQ(negated[j], -burst[j]) << j;
}

TEST(PluckBurst, AnyHeightGivesAFiniteBurst)
{
    // Heights far outside the window reach no undefined conversion; the shape keeps tending
    // to its limit (a ramp of vanishing size), and NaN counts as the bottom of the window.
    float burst[GLStuff::kBurstLength];
    const float inf = std::numeric_limits<float>::infinity();
    for (float height : {1e30f, -1e30f, inf, -inf, 3e9f, -3e9f, 4.2e6f, -4.2e6f}) {
        GLStuff::FillBurst(height, false, burst);
        for (int j = 0; j < GLStuff::kBurstLength; ++j) {
            ASSERT_TRUE(std::isfinite(burst[j])) << height << " at " << j;
            ASSERT_GE(burst[j], 0.0f);
            ASSERT_LE(burst[j], 1e-4f) << height << " at " << j;
        }
    }
    GLStuff::FillBurst(1e30f, false, burst);
    EXPECT_GT(burst[511], 0.0f); // still the rising ramp
    GLStuff::FillBurst(-1e30f, false, burst);
    EXPECT_GT(burst[0], burst[511]); // still the falling ramp

    float bottom[GLStuff::kBurstLength];
    GLStuff::FillBurst(0.0f, false, bottom);
    GLStuff::FillBurst(std::nanf(""), false, burst);
    for (int j = 0; j < GLStuff::kBurstLength; ++j)
        ASSERT_EQ(burst[j], bottom[j]) << j;

    apptest::freshStrings(10);
    EXPECT_EQ(pluck(0.16f, 1e30f, -1.0f, 0.12f).size(), 1u);
    EXPECT_EQ(pluck(0.26f, -1e30f, -1.0f, 0.22f).size(), 1u);
    EXPECT_EQ(pluck(0.36f, std::nanf(""), -1.0f, 0.32f).size(), 1u);
}

} // namespace
