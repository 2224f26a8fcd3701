#include "src/PluckExcitation.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDefaultApex = 0.4; // of the period, where a burstless pluck takes the string

// The displacement at `x` periods (0..1) along the burst, read linearly and wrapping.
double Displacement(const float* burst, int burstLength, double x)
{
    if (burst == nullptr || burstLength < 2)
        return x < kDefaultApex ? x / kDefaultApex : (1.0 - x) / (1.0 - kDefaultApex);
    const double at = x * burstLength;
    const int base = std::min(static_cast<int>(at), burstLength - 1);
    const int next = base + 1 < burstLength ? base + 1 : 0;
    return burst[base] + (at - base) * (burst[next] - burst[base]);
}

// One-pole lowpass run around the period (it is one cycle of a periodic signal), forwards then
// backwards so that it delays nothing; enough turns that its start-up has died away.
void SmoothAround(float* period, int length, double pole)
{
    const double settle = 8.0 / std::max(1e-6, 1.0 - pole); // samples
    const int turns = 1 + static_cast<int>(settle / length);
    for (int direction = 0; direction < 2; ++direction) {
        double state = 0.0;
        for (int turn = 0; turn <= turns; ++turn) {
            for (int n = 0; n < length; ++n) {
                const int i = direction == 0 ? n : length - 1 - n;
                state = (1.0 - pole) * period[i] + pole * state;
                if (turn == turns)
                    period[i] = static_cast<float>(state);
            }
        }
    }
}

} // namespace

void PluckExcitation::Shape(const float* burst, int burstLength, int velocity, double frequency,
                            double sampleRate, float* period, int length)
{
    const double strength = std::clamp(velocity, 0, 127) / 127.0;
    double previous = Displacement(burst, burstLength, (length - 1.0) / length);
    for (int i = 0; i < length; ++i) {
        const double now = Displacement(burst, burstLength, static_cast<double>(i) / length);
        period[i] = static_cast<float>(now - previous);
        previous = now;
    }
    const double padHz =
        kPadHzSoft * std::pow(kPadHzLoud / kPadHzSoft, std::max(strength, 1.0 / 127.0));
    // A pad is a length of string: on a short string it covers more of the wave.
    const double corner = std::max(padHz, 1.2 * frequency);
    SmoothAround(period, length, std::exp(-2.0 * kPi * corner / sampleRate));

    double sum = 0.0;
    for (int i = 0; i < length; ++i)
        sum += period[i];
    const float mean = static_cast<float>(sum / length);
    float peak = 0.0f;
    for (int i = 0; i < length; ++i) {
        period[i] -= mean;
        peak = std::max(peak, std::fabs(period[i]));
    }
    const float scale = peak > 0.0f ? static_cast<float>(kPeak * strength) / peak : 0.0f;
    for (int i = 0; i < length; ++i)
        period[i] *= scale;
}
