#pragma once

#include "GLStuff.h"

// The pieces of the pluck detector, for the detector itself and for tests.
namespace GLStuff {

constexpr int kBurstLength = 512; // samples of an excitation burst
constexpr int kLowestNote = 32;   // note of string 0 in every scale (69 = 440 Hz)
constexpr int kPluckVelocity = 127;

// Note of string `stringIndex` (0 = leftmost) in `scale`.
int StringNote(int stringIndex, ScaleChoice scale);

// A triangle whose apex lies at the same fraction of its length as `height` (normalised window
// units, 0 = bottom) is of the window's height; negated for a leftward sweep. Every height is
// safe: beyond +-32768 windows the shape no longer changes, and NaN counts as the bottom.
void FillBurst(float height, bool leftward, float (&burst)[kBurstLength]);

// Prints "trig", then excites the string with a burst for `height`. A string that no longer
// exists (removed since the count was read) is skipped silently. Tracking thread, gLock not held.
void PluckString(int stringIndex, bool leftward, float height);

// Pluck detector. Tracking thread, gLock not held. x, y: the fingertip's new position and
// lastX, lastY its previous one (normalised window units); z: tracker depth in mm, negative
// beyond the string plane.
void airMotion(float x, float y, float z, float lastX, float lastY);

} // namespace GLStuff
