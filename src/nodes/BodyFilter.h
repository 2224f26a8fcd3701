#pragma once

#include "src/AudioServer.h"

// A harp's soundboard and box, on one side of the strings' mix: a fourth-order high-pass (the
// board radiates the lowest fundamentals weakly) and three resonances between 150 and 600 Hz,
// placed a little differently for the left and the right side, as two microphones hear the
// box. Biquads in double precision. Keeps its input without owning it.
class BodyFilter final : public AudioClient {
public:
    static constexpr double kHighPassHz = 200.0; // fourth order
    static constexpr int kSections = 5;

    // side: 0 left, 1 right; sampleRate: Hz.
    BodyFilter(AudioClient* input, int side, float sampleRate);

    void Render(float* buffer, int frames) override;

    // The filter's gain in dB at `hz`, from its coefficients.
    double GainDb(double hz) const;

private:
    struct Section {
        double b0, b1, b2, a1, a2; // normalised, a0 = 1
        double z1, z2;             // transposed direct form II memory; audio thread
    };

    AudioClient* fInput;
    Section fSections[kSections];
    double fSampleRate;
};
