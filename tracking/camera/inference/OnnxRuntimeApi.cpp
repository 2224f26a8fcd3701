#include "tracking/camera/inference/OnnxRuntimeApi.h"

#include <dlfcn.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace Leap {

namespace {

#if QUORVEL_SYSTEM_ONNXRUNTIME
constexpr std::uint32_t kApiVersion = ORT_API_VERSION;

const OrtApiBase* apiBase(const std::string&)
{
    return OrtGetApiBase();
}
#else
// The oldest table that has every entry used here is version 1; ask for a recent one so that a
// library too old to be trusted says so (it answers null).
constexpr std::uint32_t kApiVersion = 16;

const OrtApiBase* apiBase(const std::string& libraryPath)
{
    if (!std::ifstream(libraryPath))
        throw std::runtime_error(libraryPath + " is missing");
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw std::runtime_error(std::string("cannot load ") + dlerror());
    const auto getBase = reinterpret_cast<const OrtApiBase* (*)()>(dlsym(library, "OrtGetApiBase"));
    const OrtApiBase* base = getBase ? getBase() : nullptr;
    if (!base)
        throw std::runtime_error(libraryPath + " is not ONNX Runtime");
    return base;
}
#endif

std::unique_ptr<OnnxRuntimeApi> gApi; // set once under gLoadLock, then only read
std::mutex gLoadLock;

} // namespace

const OnnxRuntimeApi& OnnxRuntimeApi::load(const std::string& libraryPath)
{
    std::lock_guard<std::mutex> guard(gLoadLock);
    // A load that failed is tried again: the model set-up may have put the library in place.
    if (gApi)
        return *gApi;
    const OrtApiBase* base = apiBase(libraryPath);
    const OrtApi* table = base->GetApi(kApiVersion);
    if (!table)
        throw std::runtime_error("ONNX Runtime " + std::string(base->GetVersionString()) +
                                 " is too old");
    std::unique_ptr<OnnxRuntimeApi> api(new OnnxRuntimeApi);
    api->table = table;
    api->version = base->GetVersionString();
    api->check(table->CreateEnv(ORT_LOGGING_LEVEL_ERROR, "quorvel", &api->env));
    gApi = std::move(api);
    return *gApi;
}

void OnnxRuntimeApi::check(OrtStatus* status) const
{
    if (!status)
        return;
    const std::string message = table->GetErrorMessage(status);
    table->ReleaseStatus(status);
    throw std::runtime_error(message);
}

} // namespace Leap
