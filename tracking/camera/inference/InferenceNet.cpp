#include "tracking/camera/inference/InferenceNet.h"

#include <filesystem>

#include "tracking/InstalledFiles.h"
#include "tracking/camera/inference/OnnxRuntimeNet.h"
#include "tracking/camera/inference/OpenCvNet.h"

namespace Leap {

namespace {

// Left in the model folder by scripts/models.sh on a machine it has no ONNX Runtime build for.
const char kNoRuntimeMark[] = "onnxruntime-unavailable";

} // namespace

std::unique_ptr<InferenceNet> openInferenceNet(const std::string& modelDir, const std::string& name,
                                               InferenceRuntime runtime)
{
    if (resolveRuntime(modelDir, runtime) == InferenceRuntime::kOnnxRuntime)
        return std::make_unique<OnnxRuntimeNet>(OnnxRuntimeNet::runtimeDir(modelDir),
                                                name + ".onnx");
    return std::make_unique<OpenCvNet>(modelDir + "/" + name + ".onnx");
}

InferenceRuntime resolveRuntime(const std::string& modelDir, InferenceRuntime runtime)
{
    if (runtime != InferenceRuntime::kAutomatic)
        return runtime;
    std::error_code error;
    return std::filesystem::exists(OnnxRuntimeNet::runtimeDir(modelDir), error)
               ? InferenceRuntime::kOnnxRuntime
               : InferenceRuntime::kOpenCv;
}

std::string runtimeNote(const std::string& modelDir, InferenceRuntime runtime)
{
    if (runtime != InferenceRuntime::kAutomatic ||
        resolveRuntime(modelDir, runtime) != InferenceRuntime::kOpenCv)
        return "";
    std::error_code error;
    if (std::filesystem::exists(modelDir + "/" + kNoRuntimeMark, error))
        return "the hand models run on OpenCV: ONNX Runtime has no build for this machine.";
    return "ONNX Runtime is not set up, so the hand models run on OpenCV at about five times the "
           "CPU; run " +
           modelSetUpCommand() + " to set it up.";
}

} // namespace Leap
