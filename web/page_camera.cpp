// The camera's sentences for the page: the desktop's own (app/instrument/CameraSentence.cpp), so
// the player reads the same words in both.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/instrument/CameraSentence.h"
#include "app/instrument/Fingertips.h"
#include "app/instrument/GLStuff.h"
#include "app/window/CameraPicture.h"
#include "tracking/Leap.h"
#include "tracking/camera/CameraView.h"
#include "tracking/camera/HandSpace.h"

namespace {

using State = Leap::CameraView::State;

// web/page/camera.js names these states by number.
static_assert(static_cast<int>(State::kStarting) == 0 && static_cast<int>(State::kNoModels) == 1 &&
                  static_cast<int>(State::kNoCamera) == 2 &&
                  static_cast<int>(State::kNoHand) == 3 && static_cast<int>(State::kFailed) == 9 &&
                  static_cast<int>(State::kLost) == 7 && static_cast<int>(State::kRefused) == 10,
              "the page's camera states");

} // namespace

extern "C" {

// The sentence for camera state `state` (CameraView::State); `tenthsLeft` with kHoldStill.
const char* quorvel_camera_sentence(int state, int tenthsLeft)
{
    static std::string sentence;
    sentence = GLStuff::CameraSentence({static_cast<State>(state), tenthsLeft});
    return sentence.c_str();
}

// One tracked image's fingertips from the page's tracker (page/hands.js): `count` of (hand id,
// finger id, x, y, z in tracker millimetres), as the desktop's camera source makes its frames.
void quorvel_camera_frame(int count, const double* tips, double micros, double frameId)
{
    std::map<int, std::vector<Leap::Finger>> fingers; // by hand, in the order found
    std::vector<int> order;
    for (int i = 0; i < count; ++i) {
        const double* tip = tips + 5 * i;
        const int hand = static_cast<int>(tip[0]);
        if (fingers.find(hand) == fingers.end())
            order.push_back(hand);
        fingers[hand].emplace_back(static_cast<int>(tip[1]), Leap::Vector{tip[2], tip[3], tip[4]});
    }
    std::vector<Leap::Hand> hands;
    for (int hand : order)
        hands.emplace_back(hand, std::move(fingers[hand]));
    GLStuff::Follow(Leap::Frame(static_cast<std::int64_t>(frameId),
                                static_cast<std::int64_t>(micros), std::move(hands)));
}

// Where the mirrored picture's corner (`across`, `down`: 0 or 1, as captured) is drawn, in
// window units: x, then y up. The same placing as the fingertips', so the hand sits under them.
double quorvel_camera_corner(float across, float down, int wantY)
{
    const GLStuff::WindowPoint point = GLStuff::ImageToWindow({across, down}, true);
    return wantY ? point.y : point.x;
}

// How the hands are drawn over the picture, the desktop window's way (CameraPicture.h): the
// hand's colour, the plucking fingertip's (red, green, blue, alpha), the ring's radius in
// spheres, its segments, the bone width and landmark size in pixels, the fingertips' five
// landmarks, the bone count and the bones' landmark pairs.
const float* quorvel_hand_style()
{
    static float style[18 + 2 * GLStuff::kHandBoneCount];
    float* out = style;
    for (const GLStuff::Color& color : {GLStuff::kHandColor, GLStuff::kPluckingTipColor})
        for (const float value : {color.red, color.green, color.blue, color.alpha})
            *out++ = value;
    *out++ = static_cast<float>(GLStuff::kPluckingTipRing);
    *out++ = static_cast<float>(GLStuff::kRingSegments);
    *out++ = GLStuff::kBoneWidth;
    *out++ = GLStuff::kLandmarkSize;
    for (const int tip : Leap::HandSpace::kTips)
        *out++ = static_cast<float>(tip);
    *out++ = static_cast<float>(GLStuff::kHandBoneCount);
    for (const std::pair<int, int>& bone : GLStuff::kHandBones) {
        *out++ = static_cast<float>(bone.first);
        *out++ = static_cast<float>(bone.second);
    }
    return style;
}

// Whether the picture is shown (the key v, as on the desktop).
int quorvel_show_camera()
{
    return GLStuff::gShowCamera ? 1 : 0;
}

} // extern "C"
