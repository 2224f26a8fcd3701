// The camera picture's hand-off: the window shows the newest image, never one older than it showed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "tracking/camera/CameraView.h"

namespace {

TEST(CameraView, TheWindowNeverGoesBackToAnOlderPicture)
{
    Leap::CameraView view;
    // Picture n is n pixels wide, and each of its bytes is n: a torn picture has two values.
    const auto publish = [&view](int number) {
        Leap::CameraView::Picture& picture = view.back();
        picture.width = number;
        picture.bgra.assign(64, static_cast<std::uint8_t>(number));
        view.publish();
    };
    EXPECT_FALSE(view.takeNewest());
    publish(1);
    ASSERT_TRUE(view.takeNewest());
    EXPECT_FALSE(view.takeNewest()); // between images the same picture stays in front
    publish(2);
    publish(3);                       // 2, never taken, is replaced
    EXPECT_EQ(view.front().width, 1); // and the one in front is never written
    ASSERT_TRUE(view.takeNewest());
    EXPECT_FALSE(view.takeNewest());
    EXPECT_EQ(view.front().width, 3);

    // The camera's thread publishing as fast as it can, the window taking as fast as it can.
    constexpr int kLast = 20000;
    std::atomic<bool> done{false};
    std::thread camera([&] {
        for (int number = 4; number <= kLast; ++number)
            publish(number);
        done = true;
    });
    int shown = 3, backwards = 0, torn = 0;
    for (bool finished = false; !finished;) {
        finished = done; // read before the last take, so that take sees the last picture
        if (!view.takeNewest())
            continue;
        const Leap::CameraView::Picture& picture = view.front();
        backwards += picture.width <= shown;
        torn += std::count(picture.bgra.begin(), picture.bgra.end(),
                           static_cast<std::uint8_t>(picture.width)) != 64;
        shown = picture.width;
    }
    camera.join();
    EXPECT_EQ(backwards, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(shown, kLast);
}

} // namespace
