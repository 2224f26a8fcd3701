// The picture's arithmetic, checked against values worked out by hand.
#include <gtest/gtest.h>

#include <utility>

#include "app/window/Scene.h"

namespace GLStuff {
namespace {

void ExpectColor(const Color& seen, const Color& expected)
{
    EXPECT_FLOAT_EQ(seen.red, expected.red);
    EXPECT_FLOAT_EQ(seen.green, expected.green);
    EXPECT_FLOAT_EQ(seen.blue, expected.blue);
    EXPECT_FLOAT_EQ(seen.alpha, expected.alpha);
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

TEST(Fingertip, FaintWhiteAboveThePlaneRedOnItAroundAGreyCoreThatGrows)
{
    const Color white{1.0f, 1.0f, 1.0f, 0.25f}, red{1.0f, 0.0f, 0.0f, 0.8f};
    struct Case {
        float nearness;
        Color outer;
        float coreAlpha, coreScale;
    };
    for (const Case& c : {Case{0.5f, white, 0.5f, 0.5f}, Case{0.9f, white, 0.9f, 0.85f},
                          Case{0.999f, white, 0.999f, 0.85f}, Case{1.0f, red, 1.0f, 0.85f},
                          Case{1.3f, red, 1.0f, 0.85f}}) {
        SCOPED_TRACE(c.nearness);
        const FingertipLook look = FingertipAppearance(c.nearness, 800, 600);
        ExpectColor(look.outer, c.outer);
        ExpectColor(look.inner, {0.7f, 0.7f, 0.7f, c.coreAlpha});
        EXPECT_FLOAT_EQ(look.innerScale, c.coreScale);
    }
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
