#include "src/nodes/BodyFilter.h"

#include <cmath>
#include <complex>

namespace {

constexpr double kPi = 3.141592653589793;

struct Resonance {
    double hz;
    double gainDb;
    double q;
};
// Left and right: the same three modes of the box, a few per cent apart.
constexpr Resonance kModes[2][3] = {
    {{190.0, 4.0, 3.0}, {285.0, 11.0, 2.5}, {430.0, 8.0, 3.0}},
    {{205.0, 4.0, 3.0}, {305.0, 11.0, 2.5}, {410.0, 8.0, 3.0}},
};

} // namespace

BodyFilter::BodyFilter(AudioClient* input, int side, float sampleRate)
    : fInput(input), fSections(), fSampleRate(sampleRate)
{
    // Audio EQ cookbook biquads; the high-pass a fourth-order Butterworth in two sections.
    const double butterworthQ[2] = {0.5411961001461971, 1.3065629648763766};
    for (int h = 0; h < 2; ++h) {
        const double w = 2.0 * kPi * kHighPassHz / fSampleRate;
        const double alpha = std::sin(w) / (2.0 * butterworthQ[h]);
        const double a0 = 1.0 + alpha;
        const double c = std::cos(w);
        fSections[h] = {(1.0 + c) / 2.0 / a0,
                        -(1.0 + c) / a0,
                        (1.0 + c) / 2.0 / a0,
                        -2.0 * c / a0,
                        (1.0 - alpha) / a0,
                        0.0,
                        0.0};
    }
    for (int m = 0; m < 3; ++m) {
        const Resonance& mode = kModes[side == 0 ? 0 : 1][m];
        const double w = 2.0 * kPi * mode.hz / fSampleRate;
        const double alpha = std::sin(w) / (2.0 * mode.q);
        const double amp = std::pow(10.0, mode.gainDb / 40.0);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha / amp;
        fSections[m + 2] = {(1.0 + alpha * amp) / a0,
                            -2.0 * c / a0,
                            (1.0 - alpha * amp) / a0,
                            -2.0 * c / a0,
                            (1.0 - alpha / amp) / a0,
                            0.0,
                            0.0};
    }
}

void BodyFilter::Render(float* buffer, int frames)
{
    if (fInput == nullptr)
        return;
    fInput->Process(buffer, frames);
    for (Section& s : fSections) {
        double z1 = s.z1, z2 = s.z2;
        for (int j = 0; j < frames; ++j) {
            const double x = buffer[j];
            const double y = s.b0 * x + z1;
            z1 = s.b1 * x - s.a1 * y + z2;
            z2 = s.b2 * x - s.a2 * y;
            buffer[j] = static_cast<float>(y);
        }
        s.z1 = z1;
        s.z2 = z2;
    }
}

double BodyFilter::GainDb(double hz) const
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / fSampleRate);
    std::complex<double> h = 1.0;
    for (const Section& s : fSections)
        h *= (s.b0 + s.b1 * z1 + s.b2 * z1 * z1) / (1.0 + s.a1 * z1 + s.a2 * z1 * z1);
    return 20.0 * std::log10(std::abs(h));
}
