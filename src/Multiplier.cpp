#include "Multiplier.h"

#include <cassert>

Multiplier::Multiplier(AudioClient* a, AudioClient* b, float value) : fA(a), fB(b), fVal(value) {}

void Multiplier::SetA(AudioClient* a) { fA = a; }

void Multiplier::SetVal(float value) { fVal = value; }

void Multiplier::Render(float* buffer, int frames) {
    if (fA == nullptr) return;
    // Beyond the scratch bound a gain input cannot be pulled: the block stays silent.
    assert(fB == nullptr || frames <= AudioServer::kMaxBlockFrames);
    if (fB != nullptr && frames > AudioServer::kMaxBlockFrames) return;
    fA->Process(buffer, frames);
    if (fB == nullptr) {
        for (int k = 0; k < frames; ++k) buffer[k] *= fVal;
        return;
    }
    float gain[AudioServer::kMaxBlockFrames];
    fB->Process(gain, frames);
    for (int k = 0; k < frames; ++k) buffer[k] *= gain[k];
}
