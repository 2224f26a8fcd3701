#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <opencv2/core.hpp>

#include "tracking/Leap.h"
#include "tracking/camera/HandSpace.h"
#include "tracking/camera/HandTracker.h"
#include "tracking/camera/OneEuroFilter.h"

namespace Leap {

// Camera images in, frames out: tracks the hands, places their fingertips in millimetres and
// smooths each fingertip. One image at a time, on one thread.
class CameraTracker {
public:
    // Throws std::runtime_error when a model cannot be read (see HandTracker).
    CameraTracker(const std::string& modelDir, const std::string& variant, bool mirror,
                  InferenceRuntime runtime = InferenceRuntime::kAutomatic);

    // The frame for a BGR image captured at `captureMicros` (steady clock).
    Frame process(const cv::Mat& image, std::int64_t captureMicros);

    const HandSpace& space() const { return fSpace; }
    // The hands of the last image processed, in image pixels.
    const std::vector<HandTracker::Hand>& hands() const { return fTracker.hands(); }
    // The next hand held still sets the string plane again.
    void recalibrate() { fSpace.recalibrate(); }

private:
    HandTracker fTracker;
    HandSpace fSpace;
    std::map<int, OneEuroFilter> fFilters; // by finger id; only fingers in the last frame
    std::int64_t fFrameId = 0;
};

} // namespace Leap
