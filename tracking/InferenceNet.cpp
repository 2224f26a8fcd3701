#include "InferenceNet.h"

#include <filesystem>

#include "OnnxRuntimeNet.h"
#include "OpenCvNet.h"

namespace Leap {

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

} // namespace Leap
