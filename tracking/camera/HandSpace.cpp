#include "tracking/camera/HandSpace.h"

#include <algorithm>
#include <cmath>

#include "tracking/PlayingArea.h"

namespace Leap {

namespace {

// Held still: the size within this fraction, the wrist within this fraction of the width.
constexpr double kStillSize = 0.05;
constexpr double kStillWrist = 0.05;

double distance(cv::Point2f a, cv::Point2f b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Apparent size in pixels: the palm's length (wrist to middle knuckle) and width (index to
// little knuckle), which keep their proportion as the fingers bend.
double handSize(const HandCrop::Landmarks& points)
{
    return 0.5 * (distance(points[0], points[9]) + distance(points[5], points[17]));
}

} // namespace

HandSpace::HandSpace(bool mirror) : fMirror(mirror) {}

Vector HandSpace::imageToTracker(double across, double down, bool mirror)
{
    if (mirror)
        across = 1.0 - across;
    return Vector{
        PlayingArea::kLeftMm + PlayingArea::kWidthMm * (across - kLeft) / (kRight - kLeft),
        PlayingArea::kTopMm - PlayingArea::kHeightMm * (down - kTop) / (kBottom - kTop), 0.0};
}

double HandSpace::stillSecondsLeft(double seconds) const
{
    if (fCalibrated)
        return 0.0;
    if (fSamples.empty())
        return kStillSeconds;
    return std::max(0.0, kStillSeconds - (seconds - fSamples.front().seconds));
}

void HandSpace::calibrate(const HandTracker::Hand& hand, cv::Size imageSize, double seconds)
{
    // The samples since the hand last moved: a new one that strays from the first starts again.
    const Sample sample{seconds, handSize(hand.points), hand.points[0]};
    if (!fSamples.empty() &&
        (std::fabs(sample.size - fSamples.front().size) > kStillSize * fSamples.front().size ||
         distance(sample.wrist, fSamples.front().wrist) > kStillWrist * imageSize.width))
        fSamples.clear();
    fSamples.push_back(sample);
    if (seconds - fSamples.front().seconds < kStillSeconds)
        return;
    std::vector<double> sizes;
    for (const Sample& still : fSamples)
        sizes.push_back(still.size);
    std::sort(sizes.begin(), sizes.end());
    fCalibrated = true;
    fRestingSize = sizes[sizes.size() / 2];
    fSamples.clear();
}

void HandSpace::recalibrate()
{
    fCalibrated = false;
    fSamples.clear();
}

std::vector<Hand> HandSpace::place(const std::vector<HandTracker::Hand>& hands, cv::Size imageSize,
                                   double seconds)
{
    if (hands.empty()) {
        if (seconds - fLastSeen > kForgetSeconds)
            recalibrate();
        return {};
    }
    fLastSeen = seconds;
    if (!fCalibrated)
        calibrate(hands.front(), imageSize, seconds);

    std::vector<Hand> placed;
    for (const HandTracker::Hand& hand : hands) {
        double z = kPlaneOffsetMm;
        const double size = handSize(hand.points);
        if (fCalibrated && size > 1.0) {
            const double distance = kRestingDistanceMm * fRestingSize / size;
            z = distance - (kRestingDistanceMm - kPlaneOffsetMm);
        }
        std::vector<Finger> fingers;
        for (int type = 0; type < 5; ++type) {
            const cv::Point2f tip = hand.points[kTips[type]];
            Vector position =
                imageToTracker(tip.x / imageSize.width, tip.y / imageSize.height, fMirror);
            position.z = z;
            fingers.emplace_back(hand.id * 10 + type, position);
        }
        placed.emplace_back(hand.id, std::move(fingers));
    }
    return placed;
}

} // namespace Leap
