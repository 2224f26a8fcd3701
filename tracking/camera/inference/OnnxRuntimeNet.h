#pragma once

#include <string>
#include <vector>

#include "tracking/camera/inference/InferenceNet.h"
#include "tracking/camera/inference/OnnxRuntimeApi.h"

namespace Leap {

// A hand model run by ONNX Runtime on the calling thread alone: about 3 ms per landmark call
// (lite) where OpenCV takes 16. Its models keep Clip in the form ONNX Runtime wants (min and
// max as inputs), so they live apart from OpenCV's, beside the library.
class OnnxRuntimeNet : public InferenceNet {
public:
    // The library scripts/models.sh fetches where the distribution has none.
    static constexpr const char* kLibrary = "libonnxruntime.so.1";

    // Where scripts/models.sh puts its models (and that library).
    static std::string runtimeDir(const std::string& modelDir) { return modelDir + "/onnxruntime"; }

    // Loads the library (the distribution's, else DIR/kLibrary; once per process) and the model
    // DIR/MODEL; throws std::runtime_error naming what is missing or unreadable.
    OnnxRuntimeNet(const std::string& dir, const std::string& model);
    ~OnnxRuntimeNet() override;
    OnnxRuntimeNet(const OnnxRuntimeNet&) = delete;
    OnnxRuntimeNet& operator=(const OnnxRuntimeNet&) = delete;

    void run(const cv::Mat& image, std::vector<cv::Mat>& outputs) override;

private:
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 13
#pragma GCC diagnostic push
// A false alarm: load() answers the process's one table, which outlives its argument.
#pragma GCC diagnostic ignored "-Wdangling-reference"
#endif
    const OnnxRuntimeApi& fApi;
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 13
#pragma GCC diagnostic pop
#endif
    OrtSession* fSession = nullptr;
    OrtMemoryInfo* fCpu = nullptr;
    std::string fInputName;
};

} // namespace Leap
