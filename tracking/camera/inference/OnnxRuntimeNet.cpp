#include "tracking/camera/inference/OnnxRuntimeNet.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace Leap {

namespace {

const char* const kOutputNames[] = {"Identity", "Identity_1"};
constexpr std::size_t kOutputs = 2;

std::string existing(const std::string& path)
{
    if (!std::ifstream(path))
        throw std::runtime_error(path + " is missing");
    return path;
}

} // namespace

OnnxRuntimeNet::OnnxRuntimeNet(const std::string& dir, const std::string& model)
    : fApi(OnnxRuntimeApi::load(dir + "/" + kLibrary))
{
    const std::string path = existing(dir + "/" + model);
    OrtSessionOptions* options = nullptr;
    fApi.check(fApi->CreateSessionOptions(&options));
    try {
        // One thread, the caller's: the other core belongs to the sound.
        fApi.check(fApi->SetIntraOpNumThreads(options, 1));
        fApi.check(fApi->SetInterOpNumThreads(options, 1));
        fApi.check(fApi->SetSessionGraphOptimizationLevel(options, ORT_ENABLE_ALL));
        // The runtime's own words name the file and say what is wrong with it.
        fApi.check(fApi->CreateSession(fApi.env, path.c_str(), options, &fSession));
    } catch (...) {
        fApi->ReleaseSessionOptions(options);
        throw;
    }
    fApi->ReleaseSessionOptions(options);
    try {
        std::size_t inputs = 0;
        fApi.check(fApi->SessionGetInputCount(fSession, &inputs));
        if (inputs != 1)
            throw std::runtime_error(path + " is not a hand model");
        OrtAllocator* allocator = nullptr;
        fApi.check(fApi->GetAllocatorWithDefaultOptions(&allocator));
        char* name = nullptr;
        fApi.check(fApi->SessionGetInputName(fSession, 0, allocator, &name));
        fInputName = name;
        fApi.check(fApi->AllocatorFree(allocator, name));
        fApi.check(fApi->CreateCpuMemoryInfo(OrtDeviceAllocator, OrtMemTypeDefault, &fCpu));
    } catch (...) {
        fApi->ReleaseSession(fSession);
        throw;
    }
}

OnnxRuntimeNet::~OnnxRuntimeNet()
{
    fApi->ReleaseMemoryInfo(fCpu);
    fApi->ReleaseSession(fSession);
}

void OnnxRuntimeNet::run(const cv::Mat& image, std::vector<cv::Mat>& outputs)
{
    CV_Assert(image.isContinuous() && image.type() == CV_32F && image.dims == 4);
    const std::int64_t shape[4] = {image.size[0], image.size[1], image.size[2], image.size[3]};
    OrtValue* input = nullptr;
    fApi.check(fApi->CreateTensorWithDataAsOrtValue(fCpu, const_cast<uchar*>(image.data),
                                                    image.total() * sizeof(float), shape, 4,
                                                    ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT, &input));
    OrtValue* results[kOutputs] = {nullptr, nullptr};
    const char* inputName = fInputName.c_str();
    OrtStatus* status =
        fApi->Run(fSession, nullptr, &inputName, &input, 1, kOutputNames, kOutputs, results);
    fApi->ReleaseValue(input);
    const auto releaseResults = [&] {
        for (OrtValue* result : results)
            if (result)
                fApi->ReleaseValue(result);
    };
    try {
        fApi.check(status);
        outputs.resize(kOutputs);
        for (std::size_t i = 0; i < kOutputs; ++i) {
            OrtTensorTypeAndShapeInfo* info = nullptr;
            fApi.check(fApi->GetTensorTypeAndShape(results[i], &info));
            std::size_t count = 0;
            OrtStatus* counted = fApi->GetTensorShapeElementCount(info, &count);
            fApi->ReleaseTensorTypeAndShapeInfo(info);
            fApi.check(counted);
            void* data = nullptr;
            fApi.check(fApi->GetTensorMutableData(results[i], &data));
            cv::Mat(1, static_cast<int>(count), CV_32F, data).copyTo(outputs[i]);
        }
    } catch (const std::runtime_error& error) {
        releaseResults();
        throw std::runtime_error(std::string("the model failed: ") + error.what());
    }
    releaseResults();
}

} // namespace Leap
