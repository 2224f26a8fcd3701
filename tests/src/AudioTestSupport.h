#pragma once

// Independent oracles and small nodes for the audio tests: straightforward versions of the
// string's render loop and noise, and of the display tap's grouping; a meter of a partial's
// frequency.

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "src/AudioServer.h"

namespace audiotest {

// Writes `base + k` into sample k and counts its renders; records the clock and block length.
class CountingNode final : public AudioClient {
public:
    explicit CountingNode(float base = 0.0f, std::vector<int>* order = nullptr, int id = 0)
        : fBase(base), fOrder(order), fId(id)
    {
    }
    void Render(float* buffer, int frames) override
    {
        ++fRenders;
        fTimes.push_back(AudioServer::GetInstance()->Time());
        fFrames.push_back(frames);
        if (fOrder)
            fOrder->push_back(fId);
        for (int k = 0; k < frames; ++k)
            buffer[k] = fBase + static_cast<float>(k);
    }
    int fRenders = 0;
    std::vector<int> fTimes;
    std::vector<int> fFrames;

private:
    float fBase;
    std::vector<int>* fOrder;
    int fId;
};

// Plays back a fixed signal, block after block.
class SignalNode final : public AudioClient {
public:
    explicit SignalNode(std::vector<float> signal) : fSignal(std::move(signal)) {}
    void Render(float* buffer, int frames) override
    {
        for (int k = 0; k < frames; ++k)
            buffer[k] = fSignal[(fPosition + k) % fSignal.size()];
        fPosition += frames;
    }

private:
    std::vector<float> fSignal;
    size_t fPosition = 0;
};

// The noise sample of a pluck, written out independently.
inline float ReferenceNoise()
{
    const float u1 = static_cast<float>(rand()) / 2147483648.0f;
    const float u2 = static_cast<float>(rand()) / 2147483648.0f;
    const float m = static_cast<float>(sqrt(-2.0 * log(static_cast<double>(u1))));
    return static_cast<float>(tanh(m * cos(6.28318530717958 * u2)));
}

// The string's tuned render loop written the plain way: every value goes through the ring or a
// member, and the allpass starts from rest.
struct ReferenceString {
    std::vector<float> ring;
    uint32_t readPos, writePos;
    float decay, amplitude, allpass;
    float allpassIn = 0.0f, allpassOut = 0.0f;
    void Render(float* out, int frames)
    {
        const uint32_t mask = static_cast<uint32_t>(ring.size()) - 1;
        for (int j = 0; j < frames; ++j) {
            const uint32_t r = readPos & mask, w = writePos & mask, prev = (writePos - 1) & mask;
            const float in = ring[r] * decay;
            allpassOut = (allpass * in + allpassIn) - allpass * allpassOut;
            allpassIn = in;
            ring[w] = (allpassOut + ring[prev]) * 0.5f;
            out[j] = ring[r] * amplitude;
            ++writePos;
            ++readPos;
        }
    }
};

// The frequency in Hz of the partial of `signal` (sampled at fs Hz) nearest `nominalHz`: how
// far its phase turns between two Blackman-Harris windows of eight periods, four periods apart.
// Exact for one decaying sinusoid whatever its decay; the window holds the neighbouring partials
// (the decaying mean, the second harmonic) some 90 dB down. Needs thirteen nominal periods.
inline double FundamentalHz(const std::vector<float>& signal, double fs, double nominalHz)
{
    const double kTwoPi = 6.283185307179586;
    double hz = nominalHz;
    for (int pass = 0; pass < 2; ++pass) { // the second pass centres the window on the first
        const int window = static_cast<int>(8.0 * fs / hz), shift = window / 2;
        std::complex<double> sums[2];
        for (int n = 0; n < window; ++n) {
            const double x = kTwoPi * n / (window - 1);
            const double w =
                0.35875 - 0.48829 * cos(x) + 0.14128 * cos(2 * x) - 0.01168 * cos(3 * x);
            for (int k = 0; k < 2; ++k)
                sums[k] += w * signal.at(k * shift + n) *
                           std::polar(1.0, -kTwoPi * hz * (k * shift + n) / fs);
        }
        hz += std::arg(sums[1] / sums[0]) * fs / (kTwoPi * shift);
    }
    return hz;
}

// The display tap's grouping written the plain way, one sample at a time.
struct ReferenceTap {
    float max = 0.0f, min = 0.0f;
    int count = 0;
    std::vector<std::pair<float, float>> pairs;
    void Take(const float* samples, int frames, int samplesPerPixel)
    {
        for (int k = 0; k < frames; ++k) {
            const float s = samples[k];
            if (count < samplesPerPixel - 1) {
                if (s > max)
                    max = s;
                else if (s < min)
                    min = s;
                ++count;
            } else {
                pairs.emplace_back(max, min);
                min = max = s;
                count = 0;
            }
        }
    }
};

} // namespace audiotest
