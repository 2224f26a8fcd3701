// The picture's arithmetic, checked against values worked out by hand.
#include <gtest/gtest.h>

#include <utility>

#include "Scene.h"

namespace GLStuff {
namespace {

TEST(StringGeometry, StringsStandAtTheCentresOfEqualColumns)
{
    const float tenSpacing = StringSpacing(10);
    EXPECT_FLOAT_EQ(StringRestX(0, tenSpacing), 0.05f);
    EXPECT_FLOAT_EQ(StringRestX(9, tenSpacing), 0.95f);
    EXPECT_FLOAT_EQ(StringRestX(0, StringSpacing(1)), 0.5f);
    for (int numStrings = 1; numStrings <= 30; ++numStrings) {
        const float spacing = StringSpacing(numStrings);
        for (int stringIndex = 0; stringIndex < numStrings; ++stringIndex) {
            EXPECT_NEAR(StringRestX(stringIndex, spacing), (stringIndex + 0.5) / numStrings, 1e-6);
        }
    }
}

TEST(StringGeometry, FirstNoteOfEachOctaveIsPinkTheRestGrey)
{
    for (int scaleIntervals : {5, 6, 7}) {
        for (int stringIndex = 0; stringIndex < 30; ++stringIndex) {
            const Color color = StringColor(stringIndex, scaleIntervals);
            const bool pink = stringIndex % scaleIntervals == 0;
            EXPECT_FLOAT_EQ(color.red, pink ? 1.0f : 0.5f)
                << stringIndex << " of " << scaleIntervals;
            EXPECT_FLOAT_EQ(color.green, 0.5f);
            EXPECT_FLOAT_EQ(color.blue, 0.5f);
            EXPECT_FLOAT_EQ(color.alpha, 1.0f);
        }
    }
    EXPECT_FLOAT_EQ(StringColor(14, 7).red, 1.0f);
    EXPECT_FLOAT_EQ(StringColor(7, 5).red, 0.5f);
}

TEST(Waveform, PeakIsTheElementOfLargerMagnitudeAndTiesGoToTheMinimum)
{
    EXPECT_FLOAT_EQ(PairPeak({0.3f, -0.3f}), -0.3f);
    EXPECT_FLOAT_EQ(PairPeak({0.5f, -0.25f}), 0.5f);
    EXPECT_FLOAT_EQ(PairPeak({0.1f, -0.4f}), -0.4f);
    EXPECT_FLOAT_EQ(PairPeak({-0.1f, -0.2f}), -0.2f);
    EXPECT_FLOAT_EQ(PairPeak({0.0f, 0.0f}), 0.0f);
}

TEST(Waveform, SwingIsTheSpacingCappedAtATenthOfTheWindow)
{
    EXPECT_DOUBLE_EQ(WaveformSwing(StringSpacing(4)), 0.1);
    EXPECT_NEAR(WaveformSwing(StringSpacing(20)), 0.05, 1e-7);
    EXPECT_NEAR(WaveformSwing(StringSpacing(10)), 0.1, 1e-7);

    // A full-scale peak on string 1 of 4 moves the line a tenth of the width either way.
    const float spacing = StringSpacing(4);
    const float restX = StringRestX(1, spacing);
    EXPECT_FLOAT_EQ(WaveformX(restX, 1.0f, WaveformSwing(spacing)), 0.475f);
    EXPECT_FLOAT_EQ(WaveformX(restX, -1.0f, WaveformSwing(spacing)), 0.275f);
    EXPECT_FLOAT_EQ(WaveformX(restX, 0.0f, WaveformSwing(spacing)), restX);
}

TEST(Waveform, VerticesRunFromTheBottomEdgeToOneStepBelowTheTop)
{
    EXPECT_FLOAT_EQ(WaveformY(0, 4), 0.0f);
    EXPECT_FLOAT_EQ(WaveformY(1, 4), 0.25f);
    EXPECT_FLOAT_EQ(WaveformY(3, 4), 0.75f);
    EXPECT_FLOAT_EQ(WaveformY(0, 1), 0.0f);
    EXPECT_LT(WaveformY(121, 122), 1.0f);
    EXPECT_NEAR(WaveformY(121, 122), 121.0 / 122.0, 1e-6);
}

// On-screen radius of the outer sphere in pixels along x and y.
std::pair<double, double> OuterRadiusPixels(const FingertipLook& look, int width, int height)
{
    return {kFingertipRadius * look.aspectScaleX * width,
            kFingertipRadius * look.aspectScaleY * height};
}

TEST(Fingertip, SpheresAreRoundAndTwentyPixelsInBothOrientations)
{
    for (auto size : {std::pair<int, int>{800, 600}, std::pair<int, int>{600, 800}}) {
        const FingertipLook look = FingertipAppearance(0.5f, size.first, size.second);
        const auto radius = OuterRadiusPixels(look, size.first, size.second);
        EXPECT_NEAR(radius.first, 20.0, 1e-4) << size.first << "x" << size.second;
        EXPECT_NEAR(radius.second, 20.0, 1e-4) << size.first << "x" << size.second;
    }
    const FingertipLook square = FingertipAppearance(0.5f, 500, 500);
    EXPECT_FLOAT_EQ(square.aspectScaleX, 1.0f);
    EXPECT_FLOAT_EQ(square.aspectScaleY, 1.0f);
}

TEST(Fingertip, TurnsRedOnTheStringPlane)
{
    const FingertipLook beyond = FingertipAppearance(1.3f, 800, 600);
    EXPECT_FLOAT_EQ(beyond.outer.red, 1.0f);
    EXPECT_FLOAT_EQ(beyond.outer.green, 0.0f);
    EXPECT_FLOAT_EQ(beyond.outer.blue, 0.0f);
    EXPECT_FLOAT_EQ(beyond.outer.alpha, 0.8f);
    EXPECT_FLOAT_EQ(beyond.inner.alpha, 1.0f);
    EXPECT_FLOAT_EQ(beyond.innerScale, 0.85f);

    EXPECT_FLOAT_EQ(FingertipAppearance(1.0f, 800, 600).outer.green, 0.0f);
    EXPECT_FLOAT_EQ(FingertipAppearance(0.999f, 800, 600).outer.green, 1.0f);
}

TEST(Fingertip, AboveThePlaneIsFaintWhiteWithAGrowingGreyCore)
{
    const FingertipLook half = FingertipAppearance(0.5f, 800, 600);
    EXPECT_FLOAT_EQ(half.outer.red, 1.0f);
    EXPECT_FLOAT_EQ(half.outer.green, 1.0f);
    EXPECT_FLOAT_EQ(half.outer.blue, 1.0f);
    EXPECT_FLOAT_EQ(half.outer.alpha, 0.25f);
    EXPECT_FLOAT_EQ(half.inner.red, 0.7f);
    EXPECT_FLOAT_EQ(half.inner.alpha, 0.5f);
    EXPECT_FLOAT_EQ(half.innerScale, 0.5f);

    EXPECT_FLOAT_EQ(FingertipAppearance(0.9f, 800, 600).innerScale, 0.85f);
    EXPECT_FLOAT_EQ(FingertipAppearance(0.9f, 800, 600).inner.alpha, 0.9f);
    const FingertipLook far = FingertipAppearance(-0.2f, 800, 600);
    EXPECT_LE(far.inner.alpha, 0.0f);
    EXPECT_LE(far.innerScale, 0.0f);
}

TEST(Banner, StartsFiveHundredPixelsLeftOfTheRightEdge)
{
    const PixelPoint wide = BannerOrigin(800, 600);
    EXPECT_EQ(wide.x, 300);
    EXPECT_EQ(wide.y, 580);
    const PixelPoint narrow = BannerOrigin(400, 300);
    EXPECT_EQ(narrow.x, -100);
    EXPECT_EQ(narrow.y, 280);
    EXPECT_STREQ(kBannerText, "Quorvel 0.0.1");
}

} // namespace
} // namespace GLStuff
