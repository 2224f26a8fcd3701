// The camera's sentences for the page: the desktop's own (app/instrument/CameraSentence.cpp), so
// the player reads the same words in both.

#include <string>

#include "app/instrument/CameraSentence.h"
#include "app/instrument/GLStuff.h"
#include "tracking/camera/CameraView.h"

namespace {

using State = Leap::CameraView::State;

// web/page/camera.js names these states by number.
static_assert(static_cast<int>(State::kStarting) == 0 && static_cast<int>(State::kNoModels) == 1 &&
                  static_cast<int>(State::kNoCamera) == 2 && static_cast<int>(State::kLost) == 7 &&
                  static_cast<int>(State::kRefused) == 10,
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

// Whether the picture is shown (the key v, as on the desktop).
int quorvel_show_camera()
{
    return GLStuff::gShowCamera ? 1 : 0;
}

} // extern "C"
