#pragma once

#include <deque>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/Leap.h"
#include "tracking/camera/HandTracker.h"

namespace Leap {

// Places hands seen by a camera in the controller's millimetre space. The picture is mirrored
// (move right, the tip moves right); the part of the image where a whole hand can be seen maps
// onto the playing area (PlayingArea), top to bottom. Depth comes from the hand's apparent size:
// when a hand first appears and is held still for about a second, its size sets the resting
// distance, taken as 500 mm, and the string plane (z = 0) lies 100 mm nearer, where the hand looks
// a quarter larger. Until then hands hover at z = +100 mm. With no hand in sight for kForgetSeconds
// the calibration is dropped, so the next hand to appear calibrates again; so does recalibrate().
class HandSpace {
public:
    static constexpr double kRestingDistanceMm = 500.0;
    static constexpr double kPlaneOffsetMm = 100.0;
    static constexpr double kStillSeconds = 0.8;
    static constexpr double kForgetSeconds = 2.0;
    // The mapped part of the image, as fractions of its width (after mirroring) and height.
    static constexpr double kLeft = 0.12, kRight = 0.88, kTop = 0.08, kBottom = 0.58;
    // The landmarks placed as fingertips, thumb .. pinky.
    static constexpr int kTips[5] = {4, 8, 12, 16, 20};

    // Where a point of the image lands in millimetres (x and y; z 0): `across` and `down` are
    // fractions of the image's width from the left and height from the top, as captured.
    static Vector imageToTracker(double across, double down, bool mirror);

    explicit HandSpace(bool mirror);

    // The hands of one image taken at `seconds`, five fingers each (ids hand id x 10 + finger
    // type, thumb 0 .. pinky 4), unfiltered.
    std::vector<Hand> place(const std::vector<HandTracker::Hand>& hands, cv::Size imageSize,
                            double seconds);

    bool isCalibrated() const { return fCalibrated; }
    // Drops the calibration: the next hand held still sets the plane again.
    void recalibrate();
    // The apparent hand size (pixels) of the resting hand; 0 before calibration.
    double restingSize() const { return fCalibrated ? fRestingSize : 0.0; }
    // Before calibration, how much longer (seconds) the hand seen last must stay still, at
    // `seconds`; 0 once calibrated.
    double stillSecondsLeft(double seconds) const;

private:
    struct Sample {
        double seconds;
        double size;
        cv::Point2f wrist;
    };

    void calibrate(const HandTracker::Hand& hand, cv::Size imageSize, double seconds);

    const bool fMirror;
    bool fCalibrated = false;
    double fRestingSize = 0.0;
    double fLastSeen = -1e9;
    std::deque<Sample> fSamples;
};

} // namespace Leap
