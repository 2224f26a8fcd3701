#include "app/window/CameraPicture.h"

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

} // namespace GLStuff
