#pragma once

// What a finger gives a concert string: one period of the force the plucked string puts on its
// bridge. The pluck's burst (its displacement along the string, apex where the finger took it)
// is fitted to one period and turned into its slope, so that the partials fall as 1/k rather
// than 1/k^2; a finger pad smooths it, the wider the softer the pluck (velocity), so soft plucks
// are darker; the mean is taken out, so it leaves no DC behind; the level follows the velocity.
class PluckExcitation {
public:
    // Finger-pad corner in Hz at velocity 127 and at velocity 1; in between on a log scale.
    static constexpr double kPadHzLoud = 900.0;
    static constexpr double kPadHzSoft = 250.0;
    // Peak of the period at velocity 127, full scale 1.0.
    static constexpr float kPeak = 0.5f;

    // Writes `length` samples (1 and up) into `period`. burst: burstLength samples of
    // displacement, read only (null or burstLength below 2: a triangle with its apex at 0.4 of
    // the period); velocity 0..127; frequency in Hz of the note; sampleRate in Hz.
    static void Shape(const float* burst, int burstLength, int velocity, double frequency,
                      double sampleRate, float* period, int length);
};
