#pragma once

namespace Leap {
class Controller;
}

// Changes to the instrument as a player makes them, whoever asks (a key, a setting): each reaches
// every part that must know of it, the harp, the MIDI output and the tracking. Window thread.
namespace GLStuff {

// One string more, up to Harp::kMaxStrings.
void AddString();
// The rightmost string goes, down to Harp::kMinStrings; its MIDI note ends.
void RemoveString();
// The tracking takes the player's position anew: a camera sets the string plane again from the
// next hand held still. Other sources have nothing to set.
void Recalibrate();

// The tracking Recalibrate() reaches: set at start-up, cleared before the controller goes. Any
// thread.
void UseTracking(const Leap::Controller* controller);

} // namespace GLStuff
