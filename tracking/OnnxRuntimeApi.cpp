#include "OnnxRuntimeApi.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <stdexcept>

namespace Leap {

namespace {

// The oldest table that has every entry used here is version 1; ask for a recent one so that a
// library too old to be trusted says so (it answers null).
constexpr std::uint32_t kApiVersion = 16;

struct ApiBase {
    const void* (*GetApi)(std::uint32_t version);
    const char* (*GetVersionString)();
};

template <typename Function> void take(Function& entry, const void* const* table, int index)
{
    entry = reinterpret_cast<Function>(const_cast<void*>(table[index]));
}

std::unique_ptr<OnnxRuntimeApi> gApi; // set once under gLoadLock, then only read
std::string gLoadError;
std::mutex gLoadLock;

} // namespace

const OnnxRuntimeApi& OnnxRuntimeApi::load(const std::string& libraryPath)
{
    std::lock_guard<std::mutex> guard(gLoadLock);
    if (gApi)
        return *gApi;
    if (!gLoadError.empty())
        throw std::runtime_error(gLoadError);
    try {
        void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw std::runtime_error(std::string("cannot load ") + dlerror());
        const auto getBase =
            reinterpret_cast<const ApiBase* (*)()>(dlsym(library, "OrtGetApiBase"));
        const ApiBase* base = getBase ? getBase() : nullptr;
        if (!base)
            throw std::runtime_error(libraryPath + " is not ONNX Runtime");
        const auto* table = static_cast<const void* const*>(base->GetApi(kApiVersion));
        if (!table)
            throw std::runtime_error(libraryPath + " (ONNX Runtime " + base->GetVersionString() +
                                     ") is too old");
        std::unique_ptr<OnnxRuntimeApi> api(new OnnxRuntimeApi);
        api->version = base->GetVersionString();
        take(api->GetErrorMessage, table, 2);
        take(api->CreateEnv, table, 3);
        take(api->CreateSession, table, 7);
        take(api->Run, table, 9);
        take(api->CreateSessionOptions, table, 10);
        take(api->SetSessionGraphOptimizationLevel, table, 23);
        take(api->SetIntraOpNumThreads, table, 24);
        take(api->SetInterOpNumThreads, table, 25);
        take(api->SessionGetInputCount, table, 30);
        take(api->SessionGetInputName, table, 36);
        take(api->CreateTensorWithDataAsOrtValue, table, 49);
        take(api->GetTensorMutableData, table, 51);
        take(api->GetTensorShapeElementCount, table, 64);
        take(api->GetTensorTypeAndShape, table, 65);
        take(api->CreateCpuMemoryInfo, table, 69);
        take(api->AllocatorFree, table, 76);
        take(api->GetAllocatorWithDefaultOptions, table, 78);
        take(api->ReleaseStatus, table, 93);
        take(api->ReleaseMemoryInfo, table, 94);
        take(api->ReleaseSession, table, 95);
        take(api->ReleaseValue, table, 96);
        take(api->ReleaseTensorTypeAndShapeInfo, table, 99);
        take(api->ReleaseSessionOptions, table, 100);
        api->check(api->CreateEnv(kLoggingError, "quorvel", &api->env));
        gApi = std::move(api);
        return *gApi;
    } catch (const std::runtime_error& error) {
        gLoadError = error.what();
        throw;
    }
}

void OnnxRuntimeApi::check(OrtStatus* status) const
{
    if (!status)
        return;
    const std::string message = GetErrorMessage(status);
    ReleaseStatus(status);
    throw std::runtime_error(message);
}

} // namespace Leap
