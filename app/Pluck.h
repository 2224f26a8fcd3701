#pragma once

#include "GLStuff.h"

// The pieces of the pluck detector, for the detector itself and for tests.
namespace GLStuff {

constexpr int kBurstLength = 512;        // samples of an excitation burst
constexpr int kLowestNote = kDefaultKey; // note of string 0 unless a key is chosen
constexpr int kPluckVelocity = 127;
// The highest note a string is tuned to: its period is still 4 samples at 44100 Hz.
constexpr int kHighestTunableNote = 124;

// Pitch of string `stringIndex` (0 = leftmost) in `scale`, in notes (69 = 440 Hz); between notes
// for a Scala tuning.
double StringPitch(int stringIndex, const ScaleChoice& scale);
// The nearest note of that pitch: what MIDI carries.
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
