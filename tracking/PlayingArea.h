#pragma once

namespace Leap {

// The box of the tracker's space the instrument is played in, in millimetres: the instrument maps
// it onto its window, the camera maps the part of its image where a whole hand fits onto it, and
// the demo's fingertips sweep across it. The string plane is z = 0; a tip kFarMm above it (z
// towards the player) is as far as the window shows.
struct PlayingArea {
    static constexpr double kLeftMm = -200.0;  // x, across
    static constexpr double kRightMm = 200.0;  //
    static constexpr double kBottomMm = 150.0; // y, height above the tracker
    static constexpr double kTopMm = 350.0;    //
    static constexpr double kFarMm = 300.0;    // z, depth from the string plane
    static constexpr double kWidthMm = kRightMm - kLeftMm;
    static constexpr double kHeightMm = kTopMm - kBottomMm;
};

} // namespace Leap
