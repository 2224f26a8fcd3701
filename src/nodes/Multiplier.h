#pragma once

#include "src/AudioServer.h"

// Gain node: outputs input A times either a constant or, sample by sample, input B. Keeps its
// inputs without owning them; without input A it outputs silence.
class Multiplier final : public AudioClient {
public:
    // a: the signal (null: silence); b: per-sample gain (null: use `value`); value: constant gain.
    Multiplier(AudioClient* a, AudioClient* b, float value);

    // Set while the owner builds its graph, before the node is reachable from the audio thread.
    void SetA(AudioClient* a);
    void SetVal(float value);

    void Render(float* buffer, int frames) override;

private:
    AudioClient* fA;
    AudioClient* fB;
    float fVal;
};
