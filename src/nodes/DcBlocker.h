#pragma once

#include "src/AudioServer.h"

// DC blocker: a first-order high-pass y[t] = x[t] - x[t-1] + r y[t-1] on its input, with r set
// for a corner of a few Hz, so that what plucks leave of an offset never reaches the output
// (nor thumps in a device that blocks DC) while the lowest string (about 50 Hz) passes whole.
// Keeps its input without owning it; without one it outputs silence.
class DcBlocker final : public AudioClient {
public:
    static constexpr double kCornerHz = 5.0;

    // input: the signal; sampleRate: Hz, over 0.
    DcBlocker(AudioClient* input, float sampleRate);

    // Set while the owner builds its graph, before the node is reachable from the audio thread.
    void SetInput(AudioClient* input);

    void Render(float* buffer, int frames) override;

private:
    AudioClient* fInput;
    double fPole;    // r, 0 < r < 1
    double fLastIn;  // x[t-1]; audio thread
    double fLastOut; // y[t-1]; audio thread
};
