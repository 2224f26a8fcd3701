#pragma once

#include "tracking/PlayingArea.h"

// Tracker millimetres to normalised window units: the playing area's width and height to 0..1,
// its depth (kFarMm..0) to nearness 0..1. Not clamped.
namespace GLStuff {

inline float WindowX(double trackerX)
{
    return static_cast<float>((trackerX - Leap::PlayingArea::kLeftMm) /
                              Leap::PlayingArea::kWidthMm);
}

inline float WindowY(double trackerY)
{
    return static_cast<float>((trackerY - Leap::PlayingArea::kBottomMm) /
                              Leap::PlayingArea::kHeightMm);
}

inline float Nearness(double trackerZ)
{
    return static_cast<float>(trackerZ / -Leap::PlayingArea::kFarMm + 1.0);
}

} // namespace GLStuff
