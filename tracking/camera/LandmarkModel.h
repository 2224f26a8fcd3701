#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/camera/HandCrop.h"
#include "tracking/camera/inference/InferenceNet.h"

namespace Leap {

// Finds the 21 landmarks of one hand inside a crop of the camera image with the hand landmark
// model (224x224 input). Not thread-safe.
class LandmarkModel {
public:
    struct Result {
        HandCrop::Landmarks points; // image pixels
        float presence = 0.0f;      // 0..1: how sure the model is that a hand is in the crop
    };

    // `net` runs hand_landmark_VARIANT.onnx.
    explicit LandmarkModel(std::unique_ptr<InferenceNet> net);

    Result run(const cv::Mat& image, const HandCrop& crop);

private:
    std::unique_ptr<InferenceNet> fNet;
    cv::Mat fInput; // the crop, reused
    std::vector<cv::Mat> fOutputs;
};

} // namespace Leap
