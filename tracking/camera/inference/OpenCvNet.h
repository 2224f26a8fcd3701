#pragma once

#include <string>
#include <vector>

#include <opencv2/dnn.hpp>

#include "tracking/camera/inference/InferenceNet.h"

namespace Leap {

// A hand model run by OpenCV's dnn module: about 16 ms per landmark call (lite) on one core of
// this machine. OpenCV 4.6 reads Clip only in its old form, with min and max as attributes.
class OpenCvNet : public InferenceNet {
public:
    // Throws std::runtime_error when the file cannot be read as a model.
    explicit OpenCvNet(const std::string& modelPath);

    void run(const cv::Mat& image, std::vector<cv::Mat>& outputs) override;

private:
    cv::dnn::Net fNet;
};

} // namespace Leap
