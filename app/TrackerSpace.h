#pragma once

// Tracker millimetres to normalised window units: x -200..200 and height 150..350 to 0..1,
// depth 300..0 to nearness 0..1. Not clamped.
namespace GLStuff {

inline float WindowX(double trackerX)
{
    return static_cast<float>((trackerX + 200.0) / 400.0);
}

inline float WindowY(double trackerY)
{
    return static_cast<float>((trackerY - 150.0) / 200.0);
}

inline float Nearness(double trackerZ)
{
    return static_cast<float>(trackerZ / -300.0 + 1.0);
}

} // namespace GLStuff
