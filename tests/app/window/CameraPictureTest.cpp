// The camera's picture against the fingertips: a point of the image is drawn where a fingertip
// seen there is placed by the whole path (HandSpace, then the listener's tracks).
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/instrument/Fingertips.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/HarpListener.h"
#include "app/window/CameraPicture.h"
#include "tracking/camera/HandSpace.h"

namespace {

using Space = Leap::HandSpace;

TEST(CameraPicture, TheMappedPartFillsTheWindowMirrored)
{
    const GLStuff::WindowPoint topRight = GLStuff::ImageToWindow(
        {static_cast<float>(Space::kRight), static_cast<float>(Space::kTop)}, true);
    const GLStuff::WindowPoint bottomLeft = GLStuff::ImageToWindow(
        {static_cast<float>(Space::kLeft), static_cast<float>(Space::kBottom)}, true);
    EXPECT_NEAR(topRight.x, 0.0, 1e-6);
    EXPECT_NEAR(topRight.y, 1.0, 1e-6);
    EXPECT_NEAR(bottomLeft.x, 1.0, 1e-6);
    EXPECT_NEAR(bottomLeft.y, 0.0, 1e-6);
}

// In every corner of the playing area and its middle, each fingertip's track lies where the
// picture shows its landmark, within 2% of the default window's width.
TEST(CameraPicture, EveryFingertipSitsOnItsLandmarkInThePicture)
{
    const cv::Size image(640, 480);
    const double inset = 0.03;
    for (const double across : {Space::kLeft + inset, 0.5, Space::kRight - inset}) {
        for (const double down : {Space::kTop + inset, 0.33, Space::kBottom - inset}) {
            Leap::HandTracker::Hand hand;
            hand.id = 1;
            for (int point = 0; point < 21; ++point)
                hand.points[point] =
                    cv::Point2f(static_cast<float>(across * image.width + 3.0 * (point % 5) - 6.0),
                                static_cast<float>(down * image.height + 2.0 * (point / 5) - 4.0));
            Space space(true);
            const std::vector<Leap::Hand> placed = space.place({hand}, image, 1.0);
            apptest::clearTracks();
            GLStuff::Follow(Leap::Frame(1, 1000000, placed));
            std::lock_guard<std::mutex> hold(GLStuff::gLock);
            ASSERT_EQ(GLStuff::gFingers.size(), 5u);
            for (int type = 0; type < 5; ++type) {
                const cv::Point2f tip = hand.points[Space::kTips[type]];
                const GLStuff::WindowPoint drawn =
                    GLStuff::ImageToWindow({tip.x / image.width, tip.y / image.height}, true);
                const GLStuff::Finger& track = GLStuff::gFingers.at(10 + type);
                EXPECT_LT(std::abs(track.fX - drawn.x) * 800.0, 16.0) << across << ", " << down;
                EXPECT_LT(std::abs(track.fY - drawn.y) * 600.0, 16.0) << across << ", " << down;
            }
        }
    }
    apptest::clearTracks();
}

} // namespace
