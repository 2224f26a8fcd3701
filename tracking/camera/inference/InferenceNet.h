#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/camera/CameraSettings.h"

namespace Leap {

// One hand model, loaded by one runtime. Both hand models take one NCHW float image and answer
// in two outputs, "Identity" and "Identity_1". Not thread-safe.
class InferenceNet {
public:
    virtual ~InferenceNet() = default;

    // Runs the model; `outputs` gets the two outputs, each as one row of floats. Throws
    // std::runtime_error when the runtime fails.
    virtual void run(const cv::Mat& image, std::vector<cv::Mat>& outputs) = 0;
};

// Opens MODEL_DIR/NAME.onnx for `runtime` (never kAutomatic: see resolveRuntime); throws
// std::runtime_error naming the file or library that is missing or unreadable.
std::unique_ptr<InferenceNet> openInferenceNet(const std::string& modelDir, const std::string& name,
                                               InferenceRuntime runtime);

// The runtime kAutomatic stands for in `modelDir`.
InferenceRuntime resolveRuntime(const std::string& modelDir, InferenceRuntime runtime);

// What a camera start tells the player about the runtime `runtime` stands for in `modelDir`
// (one line, no line end): a word when OpenCV was left to run the models, empty otherwise.
std::string runtimeNote(const std::string& modelDir, InferenceRuntime runtime);

} // namespace Leap
