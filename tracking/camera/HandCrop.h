#pragma once

#include <array>

#include <opencv2/core.hpp>

namespace Leap {

// A rotated square of the camera image that holds one hand upright, in image pixels. Landmarks
// are found inside such a crop; the crop for the next image is predicted from them.
struct HandCrop {
    static constexpr int kLandmarks = 21;
    using Landmarks = std::array<cv::Point2f, kLandmarks>;

    cv::Point2f center;    // image pixels
    float side = 0.0f;     // image pixels
    float rotation = 0.0f; // radians; 0 = fingers up, positive = fingers turned to the right

    // From a detected palm: its box centre and size (pixels), its wrist (keypoint 0) and
    // middle-finger base (keypoint 2).
    static HandCrop fromPalm(cv::Point2f boxCenter, float boxWidth, float boxHeight,
                             cv::Point2f wrist, cv::Point2f middleBase);
    // From the landmarks of the previous image (image pixels).
    static HandCrop fromLandmarks(const Landmarks& points);

    // Maps crop pixels (0..size) to image pixels.
    cv::Matx23f cropToImage(int size) const;
};

} // namespace Leap
