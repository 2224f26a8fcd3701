#include "src/nodes/Multiplier.h"

#include <cassert>

namespace {
// Runs of 8 samples, which the compiler vectorises at -O2.
constexpr int kRun = 8;

void Scale(float* buffer, float gain, int frames)
{
    int k = 0;
    for (; k + kRun <= frames; k += kRun)
        for (int i = 0; i < kRun; ++i)
            buffer[k + i] *= gain;
    for (; k < frames; ++k)
        buffer[k] *= gain;
}

void Modulate(float* __restrict buffer, const float* __restrict gain, int frames)
{
    int k = 0;
    for (; k + kRun <= frames; k += kRun)
        for (int i = 0; i < kRun; ++i)
            buffer[k + i] *= gain[k + i];
    for (; k < frames; ++k)
        buffer[k] *= gain[k];
}
} // namespace

Multiplier::Multiplier(AudioClient* a, AudioClient* b, float value) : fA(a), fB(b), fVal(value) {}

void Multiplier::SetA(AudioClient* a)
{
    fA = a;
}

void Multiplier::SetVal(float value)
{
    fVal = value;
}

void Multiplier::Render(float* buffer, int frames)
{
    if (fA == nullptr)
        return;
    // Beyond the scratch bound a gain input cannot be pulled: the block stays silent.
    assert(fB == nullptr || frames <= AudioServer::kMaxBlockFrames);
    if (fB != nullptr && frames > AudioServer::kMaxBlockFrames)
        return;
    fA->Process(buffer, frames);
    if (fB == nullptr) {
        Scale(buffer, fVal, frames);
        return;
    }
    float gain[AudioServer::kMaxBlockFrames];
    fB->Process(gain, frames);
    Modulate(buffer, gain, frames);
}
