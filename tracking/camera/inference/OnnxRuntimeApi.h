#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if QUORVEL_SYSTEM_ONNXRUNTIME
// The distribution's ONNX Runtime, linked, with its own header.
#include <onnxruntime_c_api.h>
#else
// ONNX Runtime from the npm package onnxruntime-node, loaded at run time: it has no header, so
// the part of its C API the hand models use is declared here under the header's names. The
// function table only ever grows at its end, which fixes each entry's place for every release
// since API version 1; the unused entries between are padding.
struct OrtStatus;
struct OrtEnv;
struct OrtSession;
struct OrtSessionOptions;
struct OrtRunOptions;
struct OrtValue;
struct OrtMemoryInfo;
struct OrtAllocator;
struct OrtTensorTypeAndShapeInfo;

enum OrtLoggingLevel { ORT_LOGGING_LEVEL_ERROR = 3 };
enum GraphOptimizationLevel { ORT_ENABLE_ALL = 99 };
enum OrtAllocatorType { OrtDeviceAllocator = 0 };
enum OrtMemType { OrtMemTypeDefault = 0 };
enum ONNXTensorElementDataType { ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT = 1 };

struct OrtApi {
    const void* unused0[2];
    const char* (*GetErrorMessage)(const OrtStatus*);                   // 2
    OrtStatus* (*CreateEnv)(OrtLoggingLevel, const char* id, OrtEnv**); // 3
    const void* unused4[3];
    OrtStatus* (*CreateSession)(const OrtEnv*, const char* path, const OrtSessionOptions*,
                                OrtSession**); // 7
    const void* unused8[1];
    OrtStatus* (*Run)(OrtSession*, const OrtRunOptions*, const char* const* inputNames,
                      const OrtValue* const* inputs, std::size_t inputCount,
                      const char* const* outputNames, std::size_t outputCount,
                      OrtValue** outputs);                   // 9
    OrtStatus* (*CreateSessionOptions)(OrtSessionOptions**); // 10
    const void* unused11[12];
    OrtStatus* (*SetSessionGraphOptimizationLevel)(OrtSessionOptions*,
                                                   GraphOptimizationLevel); // 23
    OrtStatus* (*SetIntraOpNumThreads)(OrtSessionOptions*, int);            // 24
    OrtStatus* (*SetInterOpNumThreads)(OrtSessionOptions*, int);            // 25
    const void* unused26[4];
    OrtStatus* (*SessionGetInputCount)(const OrtSession*, std::size_t*); // 30
    const void* unused31[5];
    OrtStatus* (*SessionGetInputName)(const OrtSession*, std::size_t, OrtAllocator*,
                                      char**); // 36
    const void* unused37[12];
    OrtStatus* (*CreateTensorWithDataAsOrtValue)(const OrtMemoryInfo*, void* data,
                                                 std::size_t bytes, const std::int64_t* shape,
                                                 std::size_t dimensions, ONNXTensorElementDataType,
                                                 OrtValue**); // 49
    const void* unused50[1];
    OrtStatus* (*GetTensorMutableData)(OrtValue*, void**); // 51
    const void* unused52[12];
    OrtStatus* (*GetTensorShapeElementCount)(const OrtTensorTypeAndShapeInfo*,
                                             std::size_t*);                            // 64
    OrtStatus* (*GetTensorTypeAndShape)(const OrtValue*, OrtTensorTypeAndShapeInfo**); // 65
    const void* unused66[3];
    OrtStatus* (*CreateCpuMemoryInfo)(OrtAllocatorType, OrtMemType, OrtMemoryInfo**); // 69
    const void* unused70[6];
    OrtStatus* (*AllocatorFree)(OrtAllocator*, void*); // 76
    const void* unused77[1];
    OrtStatus* (*GetAllocatorWithDefaultOptions)(OrtAllocator**); // 78
    const void* unused79[14];
    void (*ReleaseStatus)(OrtStatus*);         // 93
    void (*ReleaseMemoryInfo)(OrtMemoryInfo*); // 94
    void (*ReleaseSession)(OrtSession*);       // 95
    void (*ReleaseValue)(OrtValue*);           // 96
    const void* unused97[2];
    void (*ReleaseTensorTypeAndShapeInfo)(OrtTensorTypeAndShapeInfo*); // 99
    void (*ReleaseSessionOptions)(OrtSessionOptions*);                 // 100
};
static_assert(offsetof(OrtApi, ReleaseSessionOptions) == 100 * sizeof(void*),
              "an entry of ONNX Runtime's function table is out of place");

struct OrtApiBase {
    const OrtApi* (*GetApi)(std::uint32_t version);
    const char* (*GetVersionString)();
};
#endif

namespace Leap {

// The process's ONNX Runtime: its function table and its one environment. Loaded once and kept
// until the process ends (the library cannot safely be unloaded).
class OnnxRuntimeApi {
public:
    // The library: the distribution's where it is linked, else the one at `libraryPath` (the
    // first one loaded wins). Throws std::runtime_error saying why it cannot be used; a later call
    // tries again.
    static const OnnxRuntimeApi& load(const std::string& libraryPath);

    // Throws std::runtime_error with the status's message (and frees it) when `status` is set.
    void check(OrtStatus* status) const;

    const OrtApi* operator->() const { return table; }

    const char* version = "";
    OrtEnv* env = nullptr;

private:
    OnnxRuntimeApi() = default;
    const OrtApi* table = nullptr;
};

} // namespace Leap
