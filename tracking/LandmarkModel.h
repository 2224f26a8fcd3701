#pragma once

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include "HandCrop.h"

namespace Leap {

// Finds the 21 landmarks of one hand inside a crop of the camera image with the hand landmark
// model (224x224 input). About 16 ms a call with the lite model on one core. Not thread-safe.
class LandmarkModel {
public:
    struct Result {
        HandCrop::Landmarks points; // image pixels
        float presence = 0.0f;      // 0..1: how sure the model is that a hand is in the crop
    };

    // Reads the ONNX model; throws std::runtime_error saying what is wrong.
    explicit LandmarkModel(const std::string& modelPath);

    Result run(const cv::Mat& image, const HandCrop& crop);

private:
    cv::dnn::Net fNet;
    cv::Mat fInput; // the crop, reused
};

} // namespace Leap
