// What a camera start says about the runtime the hand models run on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "tracking/camera/inference/InferenceNet.h"

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
