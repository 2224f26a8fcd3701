#pragma once

// The filters in a concert string's loop, after its delay line: a loss filter (a per-string gain
// and a one-pole lowpass, g (1 - a) / (1 - a z^-1)) that sets how fast each partial decays, a
// first-order dispersion allpass that makes the partials slightly sharp as a stiff string's are,
// and a first-order allpass that makes up the period's fraction of a sample. Design fits the
// loss and dispersion to a concert harp's strings, measured at C2 to C7 and interpolated between
// them by pitch, and cuts the line so that the whole loop, the filters' phase delays included,
// is one period at the fundamental.
class LoopFilter {
public:
    // Least tuning allpass delay in samples, as in the classic string: keeps its coefficient
    // small enough that it neither rings near the Nyquist frequency nor smears the attack.
    static constexpr double kMinTuningDelay = 0.618;

    // Coefficients for a string at `frequency` Hz (above 0) and `pitch` in notes (69 = 440 Hz),
    // at `sampleRate` Hz. The line length comes out at least 1.
    static LoopFilter Design(double frequency, double pitch, double sampleRate);

    // The filters' phase delay in samples at `w` radians per sample (0 < w < pi), line excluded.
    double PhaseDelay(double w) const;

    // One sample through the loop's filters: the sample leaving the line in, the sample to write
    // back out. Audio thread.
    float Tick(float leaving)
    {
        fLowpass = fInputGain * leaving + fPole * fLowpass;
        fDispersed = fDispersion * fLowpass + fDispersionIn - fDispersion * fDispersed;
        fDispersionIn = fLowpass;
        fTuned = fTuning * fDispersed + fTuningIn - fTuning * fTuned;
        fTuningIn = fDispersed;
        return fTuned;
    }

    // Sets the loop gain to the fitted one times `scale` (0..1): the early, faster decay.
    void ScaleGain(float scale) { fInputGain = fFittedInputGain * scale; }
    // Forgets the previous note's filter memory.
    void Clear() { fLowpass = fDispersed = fDispersionIn = fTuned = fTuningIn = 0.0f; }

    int length = 1;       // delay line length in samples
    float gain = 1.0f;    // g, the loss per pass of the loop at 0 Hz, 0..1
    float pole = 0.0f;    // a, 0..1: the higher, the faster the upper partials decay
    float dispersion = 0; // allpass coefficient, -1..0: the more negative, the sharper
    float tuning = 0;     // allpass coefficient, -1..1

private:
    // The loss filter's and the dispersion allpass's phase delay in samples at w.
    double LossAndDispersionDelay(double w) const;

    float fInputGain = 1.0f; // g (1 - a), scaled by the early decay
    float fFittedInputGain = 1.0f;
    float fPole = 0.0f, fDispersion = 0.0f, fTuning = 0.0f;
    float fLowpass = 0.0f, fDispersed = 0.0f, fDispersionIn = 0.0f, fTuned = 0.0f, fTuningIn = 0.0f;
};
