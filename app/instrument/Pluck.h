#pragma once

#include "app/instrument/GLStuff.h"

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

// Touch: the sweep's speed across the string (window widths per second; a width is 400 mm of
// the tracker) sets the pluck's velocity along a logarithmic curve, as loudness is heard, from
// kSoftVelocity at kSlowSweep and below to 127 at kFastSweep and above. Without touch every
// pluck is 127.
constexpr float kSlowSweep = 0.1f; // 40 mm/s: a finger drawn slowly through
constexpr float kFastSweep = 2.0f; // 800 mm/s: a brisk flick
constexpr int kSoftVelocity = 1;
int TouchVelocity(float sweepSpeed);
// Velocity 0..127 darkens the burst: a one-pole lowpass whose cut-off rises with velocity, from
// a few harmonics of the string (the burst spans one period) to none removed at 127.
void ShapeBurst(int velocity, float (&burst)[kBurstLength]);

// Touch on or off; any thread.
void SetTouch(bool on);
bool Touch();

// Prints "trig", then excites the string with a burst for `height` at `velocity` (0..127). A
// string that no longer exists (removed since the count was read) is skipped silently. Tracking
// thread, gLock not held.
void PluckString(int stringIndex, bool leftward, float height, int velocity = kPluckVelocity);

// Pluck detector. Tracking thread, gLock not held. x, y: the fingertip's new position and
// lastX, lastY its previous one (normalised window units); z: tracker depth in mm, negative
// beyond the string plane; sweepSpeed: horizontal speed in window widths per second, for touch
// (negative: unknown, plucks at 127).
void airMotion(float x, float y, float z, float lastX, float lastY);
void airMotion(float x, float y, float z, float lastX, float lastY, float sweepSpeed);

} // namespace GLStuff
