#include "Adder.h"

#include <algorithm>
#include <cassert>

namespace {
// Inputs the list holds without growing, so that adding a string under the server lock
// normally allocates nothing (the harp has at most 30).
constexpr size_t kReservedInputs = 32;
}  // namespace

Adder::Adder(float offset) : fOffset(offset) { fInputs.reserve(kReservedInputs); }

void Adder::AddInput(AudioClient* input) {
    if (std::find(fInputs.begin(), fInputs.end(), input) == fInputs.end()) fInputs.push_back(input);
}

void Adder::RemoveInput(AudioClient* input) {
    auto found = std::find(fInputs.begin(), fInputs.end(), input);
    if (found != fInputs.end()) fInputs.erase(found);
}

void Adder::Render(float* buffer, int frames) {
    assert(frames <= AudioServer::kMaxBlockFrames);
    if (frames > AudioServer::kMaxBlockFrames) return;  // beyond the scratch bound: silence
    float sum[AudioServer::kMaxBlockFrames];
    std::fill(sum, sum + frames, 0.0f);
    // The node's own buffer is the landing place for each input in turn.
    for (AudioClient* input : fInputs) {
        input->Process(buffer, frames);
        for (int k = 0; k < frames; ++k) sum[k] += buffer[k];
    }
    for (int k = 0; k < frames; ++k) buffer[k] = sum[k] + fOffset;
}
