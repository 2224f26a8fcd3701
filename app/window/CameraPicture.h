#pragma once

#include <string>
#include <utility>

#include "app/window/CameraSentence.h"
#include "app/window/Scene.h"
#include "tracking/camera/CameraView.h"

// The camera's picture behind the strings and what the tracker waits for, kept apart from GL so
// it can be checked without a display. Positions in normalised window units.
namespace GLStuff {

struct WindowPoint {
    double x;
    double y;
};

// Where a point of the camera's image (as captured) is drawn: where a fingertip seen there is
// placed, so that the part of the image the fingertips are mapped from fills the window and a
// fingertip's sphere sits on it in the picture. Outside that part the point lies off the window.
WindowPoint ImageToWindow(const Leap::CameraView::Point& point, bool mirrored);

// The picture is drawn at this fraction of its brightness, so that strings, waveforms, spheres
// and banner stay readable over it.
constexpr float kPictureBrightness = 0.4f;
// Landmarks and bones of the hands, and the sentence under the banner: apart from the strings'
// pink and grey, the spheres' white and red and the banner's magenta.
constexpr Color kHandColor{0.2f, 0.85f, 1.0f, 0.9f};
// The fingertips that pluck: a ring around each, wider than its sphere, kPluckingTipRing times
// the sphere's radius.
constexpr Color kPluckingTipColor{1.0f, 0.9f, 0.2f, 1.0f};
constexpr double kPluckingTipRing = 1.3;
constexpr int kRingSegments = 20;
// Pixels.
constexpr float kBoneWidth = 1.0f;
constexpr float kLandmarkSize = 3.0f;

// The 21 bones between the landmarks of a hand (0 wrist; 4, 8, 12, 16, 20 the fingertips).
constexpr int kHandBoneCount = 21;
extern const std::pair<int, int> kHandBones[kHandBoneCount];

} // namespace GLStuff
