// What a camera start says about the runtime the hand models run on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "InferenceNet.h"

namespace {

TEST(RuntimeNote, SaysToSetUpOnnxRuntimeOnlyWhereTheSetUpHasABuildOfIt)
{
    using Leap::InferenceRuntime;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("quorvel-runtime-note-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto note = [&] { return Leap::runtimeNote(dir.string(), InferenceRuntime::kAutomatic); };
    EXPECT_NE(note().find("run scripts/models.sh to set it up"), std::string::npos) << note();
    std::ofstream(dir / "onnxruntime-unavailable") << "ONNX Runtime has no build for riscv64\n";
    EXPECT_EQ(note(), "the hand models run on OpenCV: ONNX Runtime has no build for this machine.");
    EXPECT_EQ(Leap::runtimeNote(dir.string(), InferenceRuntime::kOpenCv), ""); // chosen so
    std::filesystem::create_directory(dir / "onnxruntime");
    EXPECT_EQ(note(), "");
    std::filesystem::remove_all(dir);
}

} // namespace
