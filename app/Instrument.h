#pragma once

// Changes to the instrument as a player makes them, whoever asks (a key, a setting): each reaches
// every part that must know of it, the harp and the MIDI output. Window thread.
namespace GLStuff {

// One string more, up to Harp::kMaxStrings.
void AddString();
// The rightmost string goes, down to Harp::kMinStrings; its MIDI note ends.
void RemoveString();

} // namespace GLStuff
