// Shared tables of 16 entries, small enough to check entry by entry.
#include "WindowTestSupport.h"

#include <cmath>

namespace {

constexpr unsigned int kLength = 16;
const double kPi = 3.14159265358979323846;

const float* table(unsigned int type)
{
    return sharedTable(kLength, type);
}

} // namespace

TEST(WindowTables16, StraightLineShapesHaveTheirExactSteps)
{
    for (unsigned int j = 0; j < kLength; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(table(kRectangular)[j], 1.0f);

        // Ramps of 2 entries.
        const float trapezoid = j < 2 ? j / 2.0f : j < 14 ? 1.0f : 1.0f - (j - 14) / 2.0f;
        EXPECT_EQ(table(kTrapezoid)[j], trapezoid);

        const float triangle = j < 8 ? j / 8.0f : 1.0f - (j - 8) / 8.0f;
        EXPECT_EQ(table(kTriangular)[j], triangle);

        // Attack over 2 entries, then down by 1/14 per entry (single-precision steps).
        const float attack = j < 2 ? j / 2.0f : 1.0f - static_cast<float>(j - 2) / 14.0f;
        EXPECT_EQ(table(kShortAttack)[j], attack);

        const float release = j < 14 ? static_cast<float>(j) / 14.0f : 1.0f - (j - 14) / 2.0f;
        EXPECT_EQ(table(kShortRelease)[j], release);
    }
    EXPECT_EQ(table(kTriangular)[8], 1.0f);
    EXPECT_EQ(table(kTriangular)[15], 0.125f);
    EXPECT_EQ(table(kTrapezoid)[15], 0.5f);
    EXPECT_EQ(table(kShortAttack)[15], 1.0f - 13.0f / 14.0f);
    EXPECT_EQ(table(kShortRelease)[13], 13.0f / 14.0f);
    EXPECT_EQ(table(kShortRelease)[14], 1.0f);
    EXPECT_EQ(table(kShortRelease)[15], 0.5f);
}

TEST(WindowTables16, BellShapesFollowTheirFormulasAndStartValues)
{
    const float* gaussian = table(kGaussian);
    const float* hamming = table(kHamming);
    const float* hann = table(kHann);
    const float* blackman = table(kBlackman);
    for (unsigned int j = 0; j < kLength; ++j) {
        SCOPED_TRACE(j);
        const double phase = 2.0 * kPi * j / 15.0;
        EXPECT_NEAR(gaussian[j], std::exp(-0.5 * std::pow((j - 7.5) / 3.0, 2.0)), 1e-6);
        EXPECT_NEAR(hamming[j], 0.53836 - 0.46164 * std::cos(phase), 1e-6);
        EXPECT_NEAR(hann[j], 0.5 - 0.5 * std::cos(phase), 1e-6);
        EXPECT_NEAR(blackman[j], 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2 * phase), 1e-6);
        // Symmetric windows: equal end values.
        EXPECT_NEAR(hann[j], hann[kLength - 1 - j], 1e-6);
        EXPECT_NEAR(blackman[j], blackman[kLength - 1 - j], 1e-6);
    }

    // e^-3.125 with e rounded to single precision: one unit in the last place from the true value.
    EXPECT_NEAR(gaussian[0], 0.04394, 1e-5);
    EXPECT_EQ(gaussian[0], static_cast<float>(std::pow(2.7182817459106445, -3.125)));
    EXPECT_EQ(hamming[0], static_cast<float>(0.53836 - 0.46164));
    EXPECT_NEAR(hamming[0], 0.07672, 1e-7);
    EXPECT_EQ(hann[0], 0.0f);
    // Single-precision coefficients 0.42 and 0.08 leave the first value just below zero.
    EXPECT_EQ(blackman[0], -0x1p-26f);
}

TEST(WindowFunction16, InexactIncrementAddsOneSampleToThePass)
{
    WindowFunction window(kLength);
    window.setWindowType(kTriangular);
    window.setWindowLength(10);

    // Position k * 1.6 in entries; ten additions stay just below 16, so the 11th call ends it.
    float value;
    EXPECT_FALSE(window.getNextSample(value));
    EXPECT_EQ(value, table(kTriangular)[0]);
    EXPECT_EQ(passLength(window), 10);
    EXPECT_FALSE(window.samplesRemain());
    EXPECT_EQ(passLength(window), 11);

    // Counted by samplesRemain, a pass has the same 11 samples and ends on the last entry.
    window.setWindowLength(10);
    int samples = 0;
    while (window.samplesRemain() && samples < 100) {
        window.getNextSample(value);
        ++samples;
    }
    EXPECT_EQ(samples, 11);
    EXPECT_EQ(value, table(kTriangular)[15]);
}
