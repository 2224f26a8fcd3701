#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ONNX Runtime's C API, the part the hand models use. The library comes from the npm package
// onnxruntime-node, which has no headers, so the opaque types and the function table are
// declared here. The table only ever grows at its end, which fixes each entry's index for every
// release since API version 1.
struct OrtStatus;
struct OrtEnv;
struct OrtSession;
struct OrtSessionOptions;
struct OrtRunOptions;
struct OrtValue;
struct OrtMemoryInfo;
struct OrtAllocator;
struct OrtTensorTypeAndShapeInfo;

namespace Leap {

// The loaded library: its function table and the process's one ONNX Runtime environment.
// Loaded once and kept until the process ends (the library cannot safely be unloaded).
class OnnxRuntimeApi {
public:
    // The library at `libraryPath` (the first one asked for wins); throws std::runtime_error
    // saying why it cannot be used.
    static const OnnxRuntimeApi& load(const std::string& libraryPath);

    // Throws std::runtime_error with the status's message (and frees it) when `status` is set.
    void check(OrtStatus* status) const;

    const char* version = "";
    OrtEnv* env = nullptr;

    // The entries used, by their index in the table.
    const char* (*GetErrorMessage)(const OrtStatus*) = nullptr;             // 2
    OrtStatus* (*CreateEnv)(int level, const char* id, OrtEnv**) = nullptr; // 3
    OrtStatus* (*CreateSession)(const OrtEnv*, const char* path, const OrtSessionOptions*,
                                OrtSession**) = nullptr; // 7
    OrtStatus* (*Run)(OrtSession*, const OrtRunOptions*, const char* const* inputNames,
                      const OrtValue* const* inputs, std::size_t inputCount,
                      const char* const* outputNames, std::size_t outputCount,
                      OrtValue** outputs) = nullptr;                                   // 9
    OrtStatus* (*CreateSessionOptions)(OrtSessionOptions**) = nullptr;                 // 10
    OrtStatus* (*SetSessionGraphOptimizationLevel)(OrtSessionOptions*, int) = nullptr; // 23
    OrtStatus* (*SetIntraOpNumThreads)(OrtSessionOptions*, int) = nullptr;             // 24
    OrtStatus* (*SetInterOpNumThreads)(OrtSessionOptions*, int) = nullptr;             // 25
    OrtStatus* (*SessionGetInputCount)(const OrtSession*, std::size_t*) = nullptr;     // 30
    OrtStatus* (*SessionGetInputName)(const OrtSession*, std::size_t, OrtAllocator*,
                                      char**) = nullptr; // 36
    OrtStatus* (*CreateTensorWithDataAsOrtValue)(const OrtMemoryInfo*, void* data,
                                                 std::size_t bytes, const std::int64_t* shape,
                                                 std::size_t dimensions, int elementType,
                                                 OrtValue**) = nullptr; // 49
    OrtStatus* (*GetTensorMutableData)(OrtValue*, void**) = nullptr;    // 51
    OrtStatus* (*GetTensorShapeElementCount)(const OrtTensorTypeAndShapeInfo*,
                                             std::size_t*) = nullptr; // 64
    OrtStatus* (*GetTensorTypeAndShape)(const OrtValue*,
                                        OrtTensorTypeAndShapeInfo**) = nullptr; // 65
    OrtStatus* (*CreateCpuMemoryInfo)(int allocatorType, int memoryType,
                                      OrtMemoryInfo**) = nullptr;                // 69
    OrtStatus* (*AllocatorFree)(OrtAllocator*, void*) = nullptr;                 // 76
    OrtStatus* (*GetAllocatorWithDefaultOptions)(OrtAllocator**) = nullptr;      // 78
    void (*ReleaseStatus)(OrtStatus*) = nullptr;                                 // 93
    void (*ReleaseMemoryInfo)(OrtMemoryInfo*) = nullptr;                         // 94
    void (*ReleaseSession)(OrtSession*) = nullptr;                               // 95
    void (*ReleaseValue)(OrtValue*) = nullptr;                                   // 96
    void (*ReleaseTensorTypeAndShapeInfo)(OrtTensorTypeAndShapeInfo*) = nullptr; // 99
    void (*ReleaseSessionOptions)(OrtSessionOptions*) = nullptr;                 // 100

    // Enumerations of the C API, by value.
    static constexpr int kLoggingError = 3;
    static constexpr int kOptimizeAll = 99;
    static constexpr int kDeviceAllocator = 0;
    static constexpr int kMemoryDefault = 0;
    static constexpr int kFloatElements = 1;

private:
    OnnxRuntimeApi() = default;
};

} // namespace Leap
