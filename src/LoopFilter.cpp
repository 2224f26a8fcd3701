#include "src/LoopFilter.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr double kPi = 3.141592653589793;

// Fitted at 44100 Hz to a sampled concert harp, by pitch: the loss of one pass g (given here as
// nepers a second at the fundamental, -ln(g) f0, which interpolates smoothly), the lowpass pole a
// (fitted with the partials 1 and 10 decays) and the dispersion coefficient giving an
// inharmonicity B of about 6e-5 at C2 rising to 4e-4 at C6.
struct FittedString {
    double note;
    double lossPerSecond;
    double pole;
    double dispersion;
};
constexpr FittedString kFitted[] = {
    {36.0, 0.858, 0.64, -0.87}, {48.0, 1.397, 0.45, -0.83}, {60.0, 1.630, 0.28, -0.71},
    {72.0, 1.503, 0.20, -0.56}, {84.0, 1.194, 0.08, -0.32}, {96.0, 0.209, 0.02, -0.11},
};
constexpr double kFittedRate = 44100.0;

FittedString Interpolated(double pitch)
{
    const int last = static_cast<int>(sizeof(kFitted) / sizeof(kFitted[0])) - 1;
    if (!(pitch > kFitted[0].note))
        return kFitted[0];
    if (pitch >= kFitted[last].note)
        return kFitted[last];
    int i = 0;
    while (kFitted[i + 1].note < pitch)
        ++i;
    const FittedString &low = kFitted[i], &high = kFitted[i + 1];
    const double t = (pitch - low.note) / (high.note - low.note);
    auto mix = [t](double a, double b) { return a + t * (b - a); };
    return {pitch, mix(low.lossPerSecond, high.lossPerSecond), mix(low.pole, high.pole),
            mix(low.dispersion, high.dispersion)};
}

// Phase delay in samples of a filter whose response at w is `response`, for w in (0, pi).
double DelayOf(std::complex<double> response, double w)
{
    return -std::arg(response) / w;
}

std::complex<double> Allpass(double coefficient, double w)
{
    const std::complex<double> z1 = std::polar(1.0, -w);
    return (coefficient + z1) / (1.0 + coefficient * z1);
}

} // namespace

LoopFilter LoopFilter::Design(double frequency, double pitch, double sampleRate)
{
    const FittedString fitted = Interpolated(pitch);
    LoopFilter filter;
    filter.gain = static_cast<float>(std::exp(-fitted.lossPerSecond / frequency));
    // The same corner in Hz at another rate.
    filter.pole = static_cast<float>(std::pow(fitted.pole, kFittedRate / sampleRate));
    filter.dispersion = static_cast<float>(fitted.dispersion);
    filter.tuning = 0.0f;

    const double period = sampleRate / frequency;
    const double w = 2.0 * kPi / period;
    const double rest = period - (w < kPi ? filter.LossAndDispersionDelay(w) : 0.0);
    filter.length = std::max(1, static_cast<int>(std::floor(rest - kMinTuningDelay)));
    // The first-order allpass whose phase delay at w is exactly the fraction left.
    const double delay = rest - filter.length;
    const double a = std::sin(0.5 * w * (1.0 - delay)) / std::sin(0.5 * w * (1.0 + delay));
    filter.tuning = std::fabs(a) < 1.0 ? static_cast<float>(a) : 0.0f;

    filter.fFittedInputGain = filter.gain * (1.0f - filter.pole);
    filter.fInputGain = filter.fFittedInputGain;
    filter.fPole = filter.pole;
    filter.fDispersion = filter.dispersion;
    filter.fTuning = filter.tuning;
    return filter;
}

double LoopFilter::LossAndDispersionDelay(double w) const
{
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> lowpass = 1.0 / (1.0 - static_cast<double>(pole) * z1);
    return DelayOf(lowpass, w) + DelayOf(Allpass(dispersion, w), w);
}

double LoopFilter::PhaseDelay(double w) const
{
    return LossAndDispersionDelay(w) + DelayOf(Allpass(tuning, w), w);
}
