#pragma once

#include <vector>

#include "src/AudioServer.h"

// Mixer node: outputs the sample-by-sample sum of its inputs plus a constant offset, summed in
// single precision in input order. Keeps its inputs without owning them.
//
// The input list is walked by the audio thread: other threads change it only under the server
// lock, and destroy a removed input only afterwards.
class Adder final : public AudioClient {
public:
    // offset: constant added to every output sample (full scale 1.0).
    explicit Adder(float offset);

    // Appends `input` unless it is already an input.
    void AddInput(AudioClient* input);
    // Removes `input` if present, keeping the others in order.
    void RemoveInput(AudioClient* input);

    void Render(float* buffer, int frames) override;

private:
    std::vector<AudioClient*> fInputs;
    float fOffset;
};
