#pragma once

#include <string>

namespace Leap {

// Which library runs the hand models. ONNX Runtime takes about a fifth of OpenCV's time per
// image; OpenCV's dnn needs nothing beyond Debian and stays as the fallback.
enum class InferenceRuntime {
    kAutomatic,   // ONNX Runtime when scripts/models.sh has set it up, else OpenCV
    kOnnxRuntime, // models and library in MODEL_DIR/onnxruntime
    kOpenCv,      // models in MODEL_DIR
};

// What the program's settings ask of a camera source. The library reads no environment: the
// program fills this in from its own settings.
struct CameraSettings {
    std::string modelDir;         // where the hand models are; see cameraModelDir
    std::string variant = "lite"; // "lite" (faster) or "full" (steadier)
    InferenceRuntime runtime = InferenceRuntime::kAutomatic;
    std::string searchPath; // directories separated by ':' where the model set-up's tools
                            // are looked for (a PATH); empty: /usr/bin:/bin
};

// Where the hand models are: `modelDir` when set, else ${xdgCacheHome:-home/.cache}/quorvel/models
// (the place scripts/models.sh uses). Null and empty count as unset.
std::string cameraModelDir(const char* modelDir, const char* xdgCacheHome, const char* home);

} // namespace Leap
