// The hand tracker for the page's worker (page/hands.js): the desktop's own pipeline
// (tracking/camera: palm detection, the crop, landmarks, the one-euro smoothing, the resting
// distance and string plane, the light meter) on each image the page hands it. The models run
// in onnxruntime-web, which answers asynchronously: the module is built with Asyncify, so the
// tracker's C++ waits for each answer as it waits for ONNX Runtime on the desktop.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <emscripten.h>
#include <opencv2/core.hpp>

#include "tracking/camera/CameraStatus.h"
#include "tracking/camera/CameraTracker.h"
#include "tracking/camera/LightMeter.h"
#include "tracking/camera/inference/InferenceNet.h"

// Runs model `name` (page/hands.js holds the sessions) on `length` floats of NCHW input; the
// two outputs wait in the worker until taken. Returns 0 when the runtime failed.
EM_ASYNC_JS(int, quorvel_run_model, (const char* name, const float* input, int length), {
    return await Module.runModel(UTF8ToString(name),
                                 HEAPF32.slice(input >> 2, (input >> 2) + length));
});
// Floats in output `index` of the last run.
EM_JS(int, quorvel_output_length, (int index), { return Module.outputs[index].length; });
EM_JS(void, quorvel_take_output, (int index, float* into),
      { HEAPF32.set(Module.outputs[index], into >> 2); });

namespace Leap {

namespace {

class PageInferenceNet : public InferenceNet {
public:
    explicit PageInferenceNet(std::string name) : fName(std::move(name)) {}

    void run(const cv::Mat& image, std::vector<cv::Mat>& outputs) override
    {
        if (!quorvel_run_model(fName.c_str(), image.ptr<float>(), static_cast<int>(image.total())))
            throw std::runtime_error("onnxruntime-web failed on " + fName);
        outputs.resize(2);
        for (int i = 0; i < 2; ++i) {
            outputs[i].create(1, quorvel_output_length(i), CV_32F);
            quorvel_take_output(i, outputs[i].ptr<float>());
        }
    }

private:
    const std::string fName;
};

} // namespace

// The page's runtime is onnxruntime-web, whatever is asked: its sessions are opened by the
// worker, by name, before the tracker starts.
std::unique_ptr<InferenceNet> openInferenceNet(const std::string&, const std::string& name,
                                               InferenceRuntime)
{
    return std::make_unique<PageInferenceNet>(name);
}

} // namespace Leap

namespace {

// Per image: [state, tenths left, fingertips, hands, frame id], then per fingertip (hand id,
// finger id, x, y, z in millimetres), then per hand 21 landmarks (across, down) of the image.
constexpr int kHeader = 5;
constexpr int kTipValues = 5;
constexpr int kMaxTips = Leap::HandTracker::kMaxHands * 5;
constexpr int kLandmarkValues = 2 * Leap::CameraView::kLandmarks;
double sOut[kHeader + kMaxTips * kTipValues + Leap::HandTracker::kMaxHands * kLandmarkValues];

std::unique_ptr<Leap::CameraTracker> sTracker;
Leap::LightMeter sLight;
cv::Mat sImage;

} // namespace

extern "C" {

// Makes the tracker on the models the worker has opened.
void quorvel_hands_start()
{
    sTracker = std::make_unique<Leap::CameraTracker>("models", "lite", true,
                                                     Leap::InferenceRuntime::kOnnxRuntime);
}

// Room for one `width` x `height` image of 8-bit red, green, blue, alpha, for the worker to fill.
std::uint8_t* quorvel_hands_image(int width, int height)
{
    static std::vector<std::uint8_t> rgba;
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    return rgba.data();
}

// Tracks the image just filled in, taken at `micros`; `recalibrate` first drops the string
// plane (the key c). Returns sOut.
const double* quorvel_hands_track(const std::uint8_t* rgba, int width, int height, double micros,
                                  int recalibrate)
{
    // The tracker takes what a desktop camera gives: blue, green, red.
    sImage.create(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = rgba + static_cast<std::size_t>(y) * width * 4;
        std::uint8_t* to = sImage.ptr(y);
        for (int x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    if (recalibrate)
        sTracker->recalibrate();
    const auto captured = static_cast<std::int64_t>(micros);
    const Leap::Frame frame = sTracker->process(sImage, captured);
    const bool dark = sLight.tooDark(sImage);
    const Leap::CameraView::Status status =
        Leap::cameraStatus(false, sTracker->space(), !frame.hands().empty(), dark,
                           static_cast<double>(captured) * 1e-6);

    double* out = sOut + kHeader;
    int tips = 0;
    for (const Leap::Hand& hand : frame.hands())
        for (const Leap::Finger& finger : hand.fingers()) {
            if (tips == kMaxTips)
                break;
            const Leap::Vector at = finger.tip().position;
            const double values[kTipValues] = {static_cast<double>(hand.id()),
                                               static_cast<double>(finger.id()), at.x, at.y, at.z};
            out = std::copy(values, values + kTipValues, out);
            ++tips;
        }
    int hands = 0;
    for (const Leap::HandTracker::Hand& hand : sTracker->hands()) {
        if (hands == Leap::HandTracker::kMaxHands)
            break;
        for (const cv::Point2f& point : hand.points) {
            *out++ = point.x / width;
            *out++ = point.y / height;
        }
        ++hands;
    }
    sOut[0] = static_cast<double>(status.state);
    sOut[1] = status.stillTenthsLeft;
    sOut[2] = tips;
    sOut[3] = hands;
    sOut[4] = static_cast<double>(frame.id());
    return sOut;
}

} // extern "C"
