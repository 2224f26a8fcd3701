#include "app/window/CameraPicture.h"

#include <cstdio>

#include "app/instrument/TrackerSpace.h"
#include "tracking/camera/HandSpace.h"

namespace GLStuff {

const std::pair<int, int> kHandBones[kHandBoneCount] = {
    {0, 1},   {1, 2},   {2, 3},   {3, 4},   {0, 5},   {5, 6},   {6, 7},
    {7, 8},   {5, 9},   {9, 10},  {10, 11}, {11, 12}, {9, 13},  {13, 14},
    {14, 15}, {15, 16}, {13, 17}, {0, 17},  {17, 18}, {18, 19}, {19, 20},
};

WindowPoint ImageToWindow(const Leap::CameraView::Point& point, bool mirrored)
{
    // The same two steps as a fingertip's: image to tracker millimetres, then to the window.
    const Leap::Vector tracker =
        Leap::HandSpace::imageToTracker(point.across, point.down, mirrored);
    return WindowPoint{WindowX(tracker.x), WindowY(tracker.y)};
}

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
    }
    return "";
}

} // namespace GLStuff
