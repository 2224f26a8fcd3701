#include "app/instrument/CameraSentence.h"

#include <cstdio>

namespace GLStuff {

std::string CameraSentence(const Leap::CameraView::Status& status)
{
    using State = Leap::CameraView::State;
    switch (status.state) {
    case State::kStarting:
        return "starting the camera";
    case State::kNoModels:
        return "hand models not set up, the keys still play";
    case State::kNoCamera:
        return "no camera found, the keys still play";
    case State::kNoHand:
        return "show a hand, palm to the camera";
    case State::kHoldStill: {
        char seconds[16];
        std::snprintf(seconds, sizeof seconds, "%.1f", status.stillTenthsLeft / 10.0);
        return std::string("hold still, ") + seconds + " s";
    }
    case State::kReady:
        return "strings set, lean in to play";
    case State::kTooDark:
        return "too dark, light your hand";
    case State::kLost:
        return "camera lost, trying again";
    case State::kEnded:
        return "the video has ended";
    case State::kFailed:
        return "hand tracking failed, the keys still play";
    case State::kRefused:
        return "camera not allowed, the keys still play";
    }
    return "";
}

} // namespace GLStuff
