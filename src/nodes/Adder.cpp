#include "src/nodes/Adder.h"

#include <algorithm>
#include <cassert>

namespace {
// Inputs the list holds without growing, so that adding a string under the server lock
// normally allocates nothing (the harp has at most 30).
constexpr size_t kReservedInputs = 32;

// Runs of 8 samples, which the compiler vectorises at -O2.
constexpr int kRun = 8;

void AddInto(float* __restrict sum, const float* __restrict block, int frames)
{
    int k = 0;
    for (; k + kRun <= frames; k += kRun)
        for (int i = 0; i < kRun; ++i)
            sum[k + i] += block[k + i];
    for (; k < frames; ++k)
        sum[k] += block[k];
}

void AddOffset(float* __restrict out, const float* __restrict sum, float offset, int frames)
{
    int k = 0;
    for (; k + kRun <= frames; k += kRun)
        for (int i = 0; i < kRun; ++i)
            out[k + i] = sum[k + i] + offset;
    for (; k < frames; ++k)
        out[k] = sum[k] + offset;
}
} // namespace

Adder::Adder(float offset) : fOffset(offset)
{
    fInputs.reserve(kReservedInputs);
}

void Adder::AddInput(AudioClient* input)
{
    if (std::find(fInputs.begin(), fInputs.end(), input) == fInputs.end())
        fInputs.push_back(input);
}

void Adder::RemoveInput(AudioClient* input)
{
    auto found = std::find(fInputs.begin(), fInputs.end(), input);
    if (found != fInputs.end())
        fInputs.erase(found);
}

void Adder::Render(float* buffer, int frames)
{
    assert(frames <= AudioServer::kMaxBlockFrames);
    if (frames > AudioServer::kMaxBlockFrames)
        return; // beyond the scratch bound: silence
    float sum[AudioServer::kMaxBlockFrames];
    std::fill(sum, sum + frames, 0.0f);
    // The node's own buffer is the landing place for each input in turn.
    for (AudioClient* input : fInputs) {
        input->Process(buffer, frames);
        AddInto(sum, buffer, frames);
    }
    AddOffset(buffer, sum, fOffset, frames);
}
