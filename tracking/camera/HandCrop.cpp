#include "tracking/camera/HandCrop.h"

#include <cmath>

namespace Leap {

namespace {

constexpr float kHalfPi = 1.57079632679f;

float uprightRotation(cv::Point2f wrist, cv::Point2f knuckles)
{
    return kHalfPi - std::atan2(-(knuckles.y - wrist.y), knuckles.x - wrist.x);
}

// Moves a box centre along the hand's own up direction by `shift` times its height.
cv::Point2f shiftedUp(cv::Point2f center, float height, float rotation, float shift)
{
    return {center.x - height * shift * std::sin(rotation),
            center.y + height * shift * std::cos(rotation)};
}

} // namespace

HandCrop HandCrop::fromPalm(cv::Point2f boxCenter, float boxWidth, float boxHeight,
                            cv::Point2f wrist, cv::Point2f middleBase)
{
    // A palm box covers the palm only: the square grows to take in the fingers above it.
    HandCrop crop;
    crop.rotation = uprightRotation(wrist, middleBase);
    crop.center = shiftedUp(boxCenter, boxHeight, crop.rotation, -0.5f);
    crop.side = 2.6f * std::max(boxWidth, boxHeight);
    return crop;
}

HandCrop HandCrop::fromLandmarks(const Landmarks& points)
{
    static constexpr int kPalmAndFingers[] = {0, 1, 2, 3, 5, 6, 9, 10, 13, 14, 17, 18};
    const cv::Point2f knuckles = 0.25f * points[5] + 0.5f * points[9] + 0.25f * points[13];
    HandCrop crop;
    crop.rotation = uprightRotation(points[0], knuckles);
    const float c = std::cos(crop.rotation);
    const float s = std::sin(crop.rotation);
    // The box in the hand's upright frame, around the wrist.
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    for (int index : kPalmAndFingers) {
        const cv::Point2f d = points[index] - points[0];
        const float x = c * d.x + s * d.y;
        const float y = -s * d.x + c * d.y;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    const float midX = 0.5f * (minX + maxX);
    const float midY = 0.5f * (minY + maxY);
    const cv::Point2f center(points[0].x + c * midX - s * midY, points[0].y + s * midX + c * midY);
    const float height = maxY - minY;
    crop.center = shiftedUp(center, height, crop.rotation, -0.1f);
    crop.side = 2.0f * std::max(maxX - minX, height);
    return crop;
}

cv::Matx23f HandCrop::cropToImage(int size) const
{
    const float scale = side / static_cast<float>(size);
    const float c = std::cos(rotation) * scale;
    const float s = std::sin(rotation) * scale;
    const float half = 0.5f * static_cast<float>(size);
    // image = center + R(rotation) * (crop - half) * scale
    return cv::Matx23f(c, -s, center.x - c * half + s * half, s, c, center.y - s * half - c * half);
}

} // namespace Leap
