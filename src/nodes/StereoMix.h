#pragma once

#include <memory>

#include "src/AudioServer.h"

// A stereo mixer for strings in a row: input i of n stands at (i + 0.5) / n across the field,
// from left to right, and goes to the two sides with constant power (cos and sin of its angle),
// the row spread over kWidth of the field. The two sides are then made slightly different: a
// late, diffused copy of their sum is added to the left and taken from the right (k D(mid)), so
// that the correlation of the sides stays at least (1 - k^2) / (1 + k^2) at every frequency,
// never in antiphase, as two microphones before a harp hear it.
//
// The node's own output is the left side; Right() is a node whose output is the right side of
// the same block. Inputs are kept without being owned; the input list changes only under the
// server lock, from another thread.
class StereoMix final : public AudioClient {
public:
    static constexpr int kMaxInputs = 32;
    static constexpr float kWidth = 0.35f;      // share of the field the row spans, 0..1
    static constexpr float kSpread = 0.45f;     // k: side level of the diffused copy, 0..1
    static constexpr double kSpreadMs = 6.0;    // its delay, ms
    static constexpr double kDiffuseMs = 2.3;   // the allpass that diffuses it, ms
    static constexpr float kDiffuseGain = 0.6f; // and its coefficient

    // gain: applied to every input; sampleRate: Hz.
    StereoMix(float gain, float sampleRate);
    ~StereoMix();

    // Appends `input` (up to kMaxInputs) and places every input anew.
    void AddInput(AudioClient* input);
    // Removes `input` if present and places the others anew.
    void RemoveInput(AudioClient* input);

    // The right side's node; lives as long as the mix.
    AudioClient* Right();

    // Audio thread: the left side into `buffer`, the right side kept for Right().
    void Render(float* buffer, int frames) override;

    // The two gains of input `index` of `count`, left and right.
    static void Place(int index, int count, float& left, float& right);

private:
    class RightSide;
    void PlaceAll();

    AudioClient* fInputs[kMaxInputs];
    float fLeftGain[kMaxInputs];
    float fRightGain[kMaxInputs];
    int fCount;
    float fGain;

    std::unique_ptr<float[]> fRight; // kMaxBlockFrames: this block's right side
    // The diffused copy: a delay line of fSpreadDelay samples and a Schroeder allpass of
    // fDiffuseDelay samples, both in rings of kRing samples.
    static constexpr int kRing = 16384;
    std::unique_ptr<float[]> fDelayRing;
    std::unique_ptr<float[]> fDiffuseRing;
    int fSpreadDelay;
    int fDiffuseDelay;
    unsigned fPos;
    std::unique_ptr<RightSide> fRightSide;
};
