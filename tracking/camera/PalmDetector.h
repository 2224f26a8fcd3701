#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/camera/HandCrop.h"
#include "tracking/camera/inference/InferenceNet.h"

namespace Leap {

// Finds palms in a whole camera image with the palm detection model (192x192 input, 2016
// anchors, weighted non-maximum suppression). Slow (tens of milliseconds): run it only when a
// hand must be found, not on every image. Not thread-safe.
class PalmDetector {
public:
    // `net` runs palm_detection_VARIANT.onnx.
    explicit PalmDetector(std::unique_ptr<InferenceNet> net);

    // Crops around the palms found in a BGR image, best first; score >= 0.5 only.
    std::vector<HandCrop> detect(const cv::Mat& image);

private:
    struct Anchor {
        float x, y; // 0..1 of the model's input
    };

    std::unique_ptr<InferenceNet> fNet;
    std::vector<Anchor> fAnchors;
    cv::Mat fInput; // the letterboxed image, reused
    std::vector<cv::Mat> fOutputs;
};

} // namespace Leap
