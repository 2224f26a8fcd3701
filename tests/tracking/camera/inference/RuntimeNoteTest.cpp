// What a camera start says about the runtime the hand models run on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "tracking/camera/inference/InferenceNet.h"
#include "tracking/camera/inference/OnnxRuntimeApi.h"

TEST(RuntimeNote, SaysToSetUpOnnxRuntimeOnlyWhereTheSetUpHasABuildOfIt)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("quorvel-note-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto note = [&](Leap::InferenceRuntime runtime) {
        return Leap::runtimeNote(dir, runtime);
    };
    EXPECT_NE(note(Leap::InferenceRuntime::kAutomatic).find("run scripts/models.sh"),
              std::string::npos);
    std::ofstream(dir / "onnxruntime-unavailable") << "ONNX Runtime has no build for riscv64\n";
    EXPECT_EQ(note(Leap::InferenceRuntime::kAutomatic),
              "the hand models run on OpenCV: ONNX Runtime has no build for this machine.");
    EXPECT_EQ(note(Leap::InferenceRuntime::kOpenCv), ""); // chosen so
    std::filesystem::create_directory(dir / "onnxruntime");
    EXPECT_EQ(note(Leap::InferenceRuntime::kAutomatic), "");
    std::filesystem::remove_all(dir);
}

#if !QUORVEL_SYSTEM_ONNXRUNTIME
// A failed load is not kept: after the set-up has run, the next camera start looks again.
TEST(RuntimeNote, LoadsTheLibraryAfreshAfterAFailure)
{
    const std::string library = testing::TempDir() + "/libonnxruntime.so.1";
    std::filesystem::remove(library);
    EXPECT_THROW(Leap::OnnxRuntimeApi::load(library), std::runtime_error);
    std::ofstream(library) << "no library\n";
    try {
        Leap::OnnxRuntimeApi::load(library);
        ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot load", 0), 0u) << error.what();
    }
}
#endif
