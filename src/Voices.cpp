#include "src/Voices.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "src/Interpolator.h"
#include "src/NoteLine.h"

namespace {

constexpr float kNoteOnDecay = 0.99f;
constexpr float kNoteOffDecay = 0.5f;
constexpr float kStartDecay = 0.8f;
// Level of the noise a burst excitation adds, full scale 1.0.
constexpr double kBurstNoiseLevel = 0.05;

// A period in samples, truncated; beyond the ring it becomes kMaxSize + 1, which SetLength
// refuses, and a negative or undefined one becomes 0.
int PeriodSamples(float samples)
{
    if (!(samples >= 0.0f))
        return 0;
    if (samples > static_cast<float>(Karplus::kMaxSize))
        return Karplus::kMaxSize + 1;
    return static_cast<int>(samples);
}

struct LoopTuning {
    int length;    // line length in samples
    float allpass; // allpass coefficient
};

// The line length and allpass coefficient that make the whole loop `period` samples long at the
// frequency whose period that is (period: samples, beyond 1). A line of at least one sample and
// a coefficient inside (-1, 1) also for the nonsense periods of notes beyond the ring or above
// the Nyquist frequency, which cannot be in tune.
LoopTuning TuneLoop(double period)
{
    const double w = 6.283185307179586 / period; // radians per sample
    // The averaging y[t] = 0.5 (x[t] + y[t-1]) delays a sinusoid of w radians per sample by
    // its phase lag over w: one sample for the lowest notes, less for high ones.
    const double averaging =
        w > 0.0 ? std::atan2(0.5 * std::sin(w), 1.0 - 0.5 * std::cos(w)) / w : 1.0;
    const double rest = period - averaging;
    LoopTuning tuning;
    tuning.length =
        std::max(1, PeriodSamples(static_cast<float>(rest - Karplus::kMinAllpassDelay)));
    // The first-order allpass whose phase delay at w is exactly `delay` samples.
    const double delay = rest - tuning.length;
    const double a = std::sin(0.5 * w * (1.0 - delay)) / std::sin(0.5 * w * (1.0 + delay));
    tuning.allpass = std::fabs(a) < 1.0 ? static_cast<float>(a) : 0.0f;
    return tuning;
}

// The offset a period of `count` samples would leave in the loop, which holds the period and,
// in the averaging's memory, its last sample once more: 1 / (count + 1) of their sum, so that
// taking it from every sample leaves nothing. Summed in double precision; 0 for no samples.
float LoopOffset(const float* samples, int count)
{
    if (count < 1)
        return 0.0f;
    double sum = samples[count - 1];
    for (int i = 0; i < count; ++i)
        sum += samples[i];
    return static_cast<float>(sum / (count + 1));
}

std::atomic<bool> sNoteLines{true};

} // namespace

Voice::Voice() : fSampleCount(0), fDuration(0), fIsOn(false) {}

void Voice::NoteOn(int, int)
{
    fIsOn = true;
}

void Voice::NoteOff()
{
    fIsOn = false;
}

void Voice::SetNoteLines(bool on)
{
    sNoteLines.store(on);
}

void Voice::PrintNoteLine(int note, float frequency)
{
    if (sNoteLines.load(std::memory_order_relaxed))
        WriteNoteLine(std::cout, note, frequency);
}

Karplus::Karplus(float periodSeconds, uint32_t startPosition)
    : fDelayLine(new float[kMaxSize]()), fMaxSize(kMaxSize),
      fLength(PeriodSamples(AudioServer::GetInstance()->Fs() * periodSeconds)),
      fReadPos(startPosition), fWritePos(startPosition + static_cast<uint32_t>(fLength)),
      fDecay(kStartDecay), fAmplitude(1.0f), fAllpass(0.0f), fAllpassIn(0.0f), fAllpassOut(0.0f),
      fNoise(new float[kMaxSize]()), fFit(new FitPoint[kMaxFitted]()), fFitLength(0),
      fFitBurstLength(0)
{
}

Karplus::~Karplus() = default;

void Karplus::NoteOn(int note, int velocity, float* burst, int burstLength)
{
    // Every note is exact in single precision, so this is the pitch path bit for bit.
    NoteOn(static_cast<float>(note), velocity, burst, burstLength);
}

void Karplus::NoteOn(float pitch, int velocity, float* burst, int burstLength)
{
    const PreparedNote prepared = PrepareNote(pitch, velocity, burst != nullptr ? burstLength : 0);
    Voice::NoteOn(prepared.note, velocity);
    // Printed before the server lock is taken: the audio thread never waits for the console.
    PrintNoteLine(prepared.note, prepared.frequency);
    AudioServer::ScopedLock hold;
    ApplyNote(prepared, burst, burstLength);
}

Karplus::PreparedNote Karplus::PrepareNote(float pitch, int velocity, int burstLength)
{
    PreparedNote prepared;
    prepared.note = NearestNote(pitch);
    prepared.velocity = velocity;
    prepared.frequency = NoteFrequency(pitch);
    const LoopTuning tuning =
        TuneLoop(static_cast<double>(AudioServer::GetInstance()->Fs()) / prepared.frequency);
    prepared.length = tuning.length;
    prepared.allpass = tuning.allpass;
    DrawNoise(prepared.length);
    PrepareFit(prepared.length, burstLength);
    return prepared;
}

void Karplus::ApplyNote(const PreparedNote& prepared, float* burst, int burstLength)
{
    fSampleCount = 0;
    SetLength(prepared.length);
    fAllpass = prepared.allpass;
    fDecay = kNoteOnDecay;
    fAmplitude = static_cast<float>(prepared.velocity) / 127.0f;
    if (burst == nullptr) {
        ExciteWithNoise();
    } else {
        ExciteWithBurst(burst, burstLength);
    }
}

void Karplus::NoteOff()
{
    Voice::NoteOff();
    AudioServer::ScopedLock hold;
    fDecay = kNoteOffDecay;
}

void Karplus::Silence()
{
    std::fill(fDelayLine.get(), fDelayLine.get() + kMaxSize, 0.0f);
    fAllpassIn = 0.0f;
    fAllpassOut = 0.0f;
}

void Karplus::SetLength(int length)
{
    assert(length <= fMaxSize);
    fLength = length;
    fWritePos = fReadPos + static_cast<uint32_t>(length);
    fDuration = length * 100;
    fAllpassIn = 0.0f;
    fAllpassOut = 0.0f;
}

void Karplus::Excite()
{
    DrawNoise(ExcitedLength());
    ExciteWithNoise();
}

void Karplus::Excite(float* burst, int burstLength)
{
    DrawNoise(ExcitedLength());
    PrepareFit(fLength, burstLength);
    ExciteWithBurst(burst, burstLength);
}

float Karplus::NoiseSample()
{
    const float u1 = static_cast<float>(rand()) / 2147483648.0f;
    const float u2 = static_cast<float>(rand()) / 2147483648.0f;
    const float m = static_cast<float>(std::sqrt(-2.0 * std::log(static_cast<double>(u1))));
    const double g = m * std::cos(6.28318530717958 * u2);
    return static_cast<float>(std::tanh(g));
}

void Karplus::DrawNoise(int count)
{
    count = std::min(std::max(count, 0), kMaxSize);
    for (int i = 0; i < count; ++i)
        fNoise[i] = NoiseSample();
}

int Karplus::ExcitedLength() const
{
    return std::min(std::max(fLength, 0), kMaxSize);
}

// The burst is spread over exactly one period, whatever the ratio of the two lengths: sample i
// of the period reads the burst at (i / length) * burstLength, in single precision.
void Karplus::PrepareFit(int length, int burstLength)
{
    fFitLength = 0;
    fFitBurstLength = 0;
    if (length < 1 || length > kMaxFitted || burstLength < 1)
        return;
    const float period = static_cast<float>(length);
    const float span = static_cast<float>(burstLength);
    for (int i = 0; i < length; ++i) {
        double x = static_cast<float>(static_cast<float>(i) / period * span);
        if (x >= burstLength)
            x = burstLength - 1; // only for bursts beyond float precision
        FitPoint& point = fFit[i];
        Interpolator::Locate(x, burstLength, point.base, point.next, point.fraction);
    }
    fFitLength = length;
    fFitBurstLength = burstLength;
}

// The offset of a period's excitation would sound as a DC that decays with the note.
void Karplus::ExciteWithNoise()
{
    float* ring = fDelayLine.get();
    const int length = ExcitedLength();
    const float offset = LoopOffset(fNoise.get(), length);
    for (int i = 0; i < length; ++i)
        ring[(fReadPos + i) & kMask] = fNoise[i] - offset;
}

void Karplus::ExciteWithBurst(float* burst, int burstLength)
{
    float* ring = fDelayLine.get();
    const int length = ExcitedLength();

    // Four running maxima keep the scan off one long dependency chain.
    float peaks[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int i = 0;
    for (; i + 4 <= length; i += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            const float magnitude = std::fabs(ring[(fReadPos + i + lane) & kMask]);
            peaks[lane] = magnitude > peaks[lane] ? magnitude : peaks[lane];
        }
    }
    for (; i < length; ++i) {
        const float magnitude = std::fabs(ring[(fReadPos + i) & kMask]);
        peaks[0] = magnitude > peaks[0] ? magnitude : peaks[0];
    }
    float peak = std::max(std::max(peaks[0], peaks[1]), std::max(peaks[2], peaks[3]));
    if (peak > 1.0f)
        peak = 1.0f;

    const bool hasBurst = burst != nullptr && burstLength >= 1;
    const float headroom = 1.0f - peak;
    if (hasBurst) {
        for (int n = 0; n < burstLength; ++n)
            burst[n] *= headroom;
    }

    // What the period receives, the fitted burst and its noise, gathered in place of the noise:
    // its offset is taken out before it goes in, so that a pluck leaves no DC behind.
    float* const added = fNoise.get();
    auto gather = [added](int i, float fitted) {
        added[i] = static_cast<float>(fitted + kBurstNoiseLevel * added[i]);
    };
    if (!hasBurst) {
        for (i = 0; i < length; ++i)
            gather(i, 0.0f);
    } else if (fFitLength == fLength && fFitBurstLength == burstLength) {
        const FitPoint* const fit = fFit.get();
        for (i = 0; i < length; ++i)
            gather(i, Interpolator::Linear(burst, fit[i].base, fit[i].next, fit[i].fraction));
    } else {
        const Interpolator linear(1);
        const float period = static_cast<float>(fLength);
        const float span = static_cast<float>(burstLength);
        for (i = 0; i < length; ++i) {
            double x = static_cast<float>(static_cast<float>(i) / period * span);
            if (x >= burstLength)
                x = burstLength - 1;
            gather(i, linear.Interpolate(burst, x, burstLength));
        }
    }
    const float offset = LoopOffset(added, length);
    for (i = 0; i < length; ++i) {
        const uint32_t index = (fReadPos + i) & kMask;
        float v = ring[index] + (added[i] - offset);
        // In the a < b ? a : b form, which compiles to min and max without a branch.
        v = v < 1.0f ? v : 1.0f;
        v = v > -1.0f ? v : -1.0f;
        ring[index] = v;
    }
}

void Karplus::Render(float* buffer, int frames)
{
    if ((static_cast<uint32_t>(fLength) & kMask) == 0) {
        RenderInPlace(buffer, frames);
        return;
    }
    // y[t-1] and the allpass memory stay in registers; the ring is only read one line back.
    float* const ring = fDelayLine.get();
    const float decay = fDecay;
    const float amplitude = fAmplitude;
    const float allpass = fAllpass;
    uint32_t readPos = fReadPos;
    uint32_t writePos = fWritePos;
    float allpassIn = fAllpassIn;
    float allpassOut = fAllpassOut;
    float newest = ring[(writePos - 1) & kMask];
    for (int j = 0; j < frames; ++j) {
        const float oldest = ring[readPos & kMask];
        const float damped = oldest * decay;
        // Grouped so that one product and one difference wait for the previous output.
        allpassOut = (allpass * damped + allpassIn) - allpass * allpassOut;
        allpassIn = damped;
        newest = (allpassOut + newest) * 0.5f;
        ring[writePos & kMask] = newest;
        buffer[j] = oldest * amplitude;
        ++readPos;
        ++writePos;
    }
    fReadPos = readPos;
    fWritePos = writePos;
    fAllpassIn = allpassIn;
    fAllpassOut = allpassOut;
    fSampleCount =
        static_cast<int>(static_cast<uint32_t>(fSampleCount) + static_cast<uint32_t>(frames));
}

void Karplus::RenderInPlace(float* buffer, int frames)
{
    float* const ring = fDelayLine.get();
    for (int j = 0; j < frames; ++j) {
        const uint32_t read = fReadPos & kMask;
        const uint32_t write = fWritePos & kMask;
        const uint32_t previous = (fWritePos - 1) & kMask;
        const float damped = ring[read] * fDecay;
        fAllpassOut = (fAllpass * damped + fAllpassIn) - fAllpass * fAllpassOut;
        fAllpassIn = damped;
        ring[write] = (fAllpassOut + ring[previous]) * 0.5f;
        buffer[j] = ring[read] * fAmplitude;
        ++fReadPos;
        ++fWritePos;
    }
    fSampleCount =
        static_cast<int>(static_cast<uint32_t>(fSampleCount) + static_cast<uint32_t>(frames));
}
