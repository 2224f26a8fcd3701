#pragma once

// Somewhere the playing goes besides the strings (MIDI out, OSC out): the fingertips of every
// frame and every pluck. Each call only hands its data over and returns at once: the tracking
// thread makes the frame and pluck calls, the window thread the string removal. Positions in
// normalised window units, z in tracker millimetres (negative beyond the string plane).
class InstrumentOutput {
public:
    virtual ~InstrumentOutput() = default;

    virtual void BeginFrame() {}
    virtual void Finger(int /*id*/, float /*x*/, float /*y*/, float /*z*/) {}
    virtual void EndFrame() {}
    // Right after string `stringIndex` got its burst: note 0..127 (69 = 440 Hz), velocity 1..127.
    virtual void Plucked(int /*stringIndex*/, int /*note*/, int /*velocity*/) {}
    // After a string was removed: strings numStrings and up are gone.
    virtual void StringsRemain(int /*numStrings*/) {}
};
