#pragma once

#include <opencv2/core.hpp>

namespace Leap {

// Whether the room is too dark for the hand models to find a hand: the mean brightness of the
// part of the image the fingertips are mapped from (HandSpace's). The threshold comes from the
// real hand photos of the camera tests' videos, every 20th image darkened by a factor: palm
// detection found the hand in all of them down to a mean luma of 29 (x0.18) and in none at 19
// (x0.12). It turns dark below kDarkLuma, midway, and light again only at kLightLuma, where every
// hand was found, so a level near the threshold does not flicker between the two.
class LightMeter {
public:
    // Luma (0.299 R + 0.587 G + 0.114 B), 0..255.
    static constexpr double kDarkLuma = 24.0;
    static constexpr double kLightLuma = 29.0;

    // The mean luma of the mapped part of an 8-bit BGR or grey image; 0 for an empty one.
    static double playingAreaLuma(const cv::Mat& image);

    // Measures one image; true while too dark.
    bool tooDark(const cv::Mat& image);

private:
    bool fDark = false;
};

} // namespace Leap
