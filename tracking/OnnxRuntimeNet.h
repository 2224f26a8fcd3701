#pragma once

#include <string>
#include <vector>

#include "InferenceNet.h"
#include "OnnxRuntimeApi.h"

namespace Leap {

// A hand model run by ONNX Runtime on the calling thread alone: about 3 ms per landmark call
// (lite) where OpenCV takes 16. Its models keep Clip in the form ONNX Runtime wants (min and
// max as inputs), so they live apart from OpenCV's, beside the library.
class OnnxRuntimeNet : public InferenceNet {
public:
    static constexpr const char* kLibrary = "libonnxruntime.so.1";

    // Where scripts/models.sh puts the library and its models.
    static std::string runtimeDir(const std::string& modelDir) { return modelDir + "/onnxruntime"; }

    // Loads DIR/kLibrary (once per process) and the model DIR/MODEL; throws std::runtime_error
    // naming what is missing or unreadable.
    OnnxRuntimeNet(const std::string& dir, const std::string& model);
    ~OnnxRuntimeNet() override;
    OnnxRuntimeNet(const OnnxRuntimeNet&) = delete;
    OnnxRuntimeNet& operator=(const OnnxRuntimeNet&) = delete;

    void run(const cv::Mat& image, std::vector<cv::Mat>& outputs) override;

private:
    const OnnxRuntimeApi& fApi;
    OrtSession* fSession = nullptr;
    OrtMemoryInfo* fCpu = nullptr;
    std::string fInputName;
};

} // namespace Leap
