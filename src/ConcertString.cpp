#include "src/ConcertString.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "src/NoteLine.h"
#include "src/PluckExcitation.h"

namespace {

constexpr float kNoiseColour = 0.6f; // the finger noise's lowpass pole

// The bass fundamentals' level against the rest of the pluck, dB by note, straight between the
// points: a soundboard radiates C2's fundamental more than the body's high-pass alone gives and
// C3's less; from C4 up the pluck is left as it is.
constexpr double kFundamentalNotes[] = {36.0, 48.0, 60.0};
constexpr double kFundamentalDb[] = {4.0, -7.0, 0.0};

double FundamentalDb(double pitch)
{
    if (pitch <= kFundamentalNotes[0])
        return kFundamentalDb[0];
    for (int i = 1; i < 3; ++i) {
        if (pitch <= kFundamentalNotes[i]) {
            const double t = (pitch - kFundamentalNotes[i - 1]) /
                             (kFundamentalNotes[i] - kFundamentalNotes[i - 1]);
            return kFundamentalDb[i - 1] + t * (kFundamentalDb[i] - kFundamentalDb[i - 1]);
        }
    }
    return 0.0;
}

// Scales the first partial of one period of `length` samples by `gain`, the others untouched:
// the period's own first Fourier component is added back (gain - 1) times.
void WeighFundamental(float* period, int length, double gain)
{
    if (gain == 1.0 || length < 2)
        return;
    const double step = 2.0 * 3.141592653589793 / length;
    double c = 0.0, s = 0.0;
    for (int i = 0; i < length; ++i) {
        c += period[i] * std::cos(step * i);
        s += period[i] * std::sin(step * i);
    }
    c *= 2.0 * (gain - 1.0) / length;
    s *= 2.0 * (gain - 1.0) / length;
    for (int i = 0; i < length; ++i)
        period[i] += static_cast<float>(c * std::cos(step * i) + s * std::sin(step * i));
}

} // namespace

ConcertString::ConcertString()
    : fDelayLine(new float[kMaxSize]()), fReadPos(0), fShape(new float[kMaxSize]()),
      fPreparedShape(new float[kMaxSize]()), fSampleRate(AudioServer::GetInstance()->Fs()),
      fSwellLeft(0), fSwellPos(0), fSwellStep(0.0f), fEarlyLoss(0.0), fEarlyFade(1.0),
      fNoiseLeft(0), fNoiseGain(0.0f), fNoiseFade(0.0f), fNoiseColour(0.0f), fNoiseState(1)
{
    Silence();
}

ConcertString::~ConcertString() = default;

void ConcertString::NoteOn(float pitch, int velocity, const float* burst, int burstLength)
{
    const int note = NearestNote(pitch);
    const float frequency = NoteFrequency(pitch);
    Voice::NoteOn(note, velocity);
    PrintNoteLine(note, frequency);

    const double rate = AudioServer::GetInstance()->Fs();
    const double safeFrequency = std::max(1.0, std::min(static_cast<double>(frequency), rate / 3));
    LoopFilter filter = LoopFilter::Design(safeFrequency, pitch, rate);
    filter.length = std::min(filter.length, kMaxSize - 1);
    const int length = filter.length;
    PluckExcitation::Shape(burst, burstLength, velocity, safeFrequency, rate, fPreparedShape.get(),
                           length);
    // Short strings, which ring with few partials, are plucked harder to sound as loud.
    const float lift = std::pow(2.0f, std::max(0.0f, pitch - kTrebleFromNote) / kTrebleNotes);
    for (int i = 0; i < length; ++i)
        fPreparedShape[i] *= lift;
    WeighFundamental(fPreparedShape.get(), length, std::pow(10.0, FundamentalDb(pitch) / 20.0));
    const double periodMs = 1000.0 / safeFrequency;
    const double swellMs = pitch <= kSwellTopNote ? kSwellMs : 3.0 * periodMs;
    const int periods = std::max(1, static_cast<int>(std::lround(swellMs / periodMs)));
    const uint32_t seed = static_cast<uint32_t>(rand()) | 1u;
    // Long strings fall less at first; short ones fall faster, over a shorter time.
    const double above = std::max(0.0, pitch - kEarlyTopNote);
    const double early = kEarlyLossPerSecond * std::clamp((pitch - 24.0) / 48.0, 0.5, 1.0) *
                         std::pow(2.0, above / 7.0);
    const double earlySeconds = kEarlySeconds * std::pow(2.0, -above / 12.0);
    const double earlyFade = std::exp(-1.0 / (earlySeconds * rate));
    const int noiseSamples = static_cast<int>(kNoiseStopMs * 0.001 * rate);
    const float noiseFade = static_cast<float>(std::exp(-1.0 / (kNoiseMs * 0.001 * rate)));
    // A short string's tone is quieter against the finger on it.
    const float noiseGain = kNoiseLevel * PluckExcitation::kPeak * std::clamp(velocity, 0, 127) /
                            127.0f *
                            (1.0f + std::min(11.0f, std::max(0.0f, pitch - 48.0f) / 1.2f)) * lift;

    AudioServer::ScopedLock hold;
    fSampleRate = static_cast<float>(rate);
    fSampleCount = 0;
    // The new tuning keeps what rings; only the filters' memory of the old one goes.
    fFilter = filter;
    std::swap(fShape, fPreparedShape);
    fSwellLeft = periods * length;
    fSwellPos = 0;
    fSwellStep = 1.0f / periods;
    fEarlyLoss = early;
    fEarlyFade = earlyFade;
    fNoiseLeft = noiseSamples;
    fNoiseGain = noiseGain;
    fNoiseFade = noiseFade;
    fNoiseState = seed;
}

void ConcertString::Silence()
{
    std::fill(fDelayLine.get(), fDelayLine.get() + kMaxSize, 0.0f);
    // The filter of a string just built: tuned to 440 Hz, nothing in its memory.
    fFilter = LoopFilter::Design(NoteFrequency(69.0f), 69.0, fSampleRate);
    fSwellLeft = 0;
    fEarlyLoss = 0.0;
    fNoiseLeft = 0;
}

void ConcertString::Render(float* buffer, int frames)
{
    // The early loss changes slowly: one value a block.
    const double frequency = fSampleRate / (fFilter.length + 1.0);
    fFilter.ScaleGain(static_cast<float>(std::exp(-fEarlyLoss / frequency)));
    fEarlyLoss *= std::pow(fEarlyFade, frames);

    const int swelling = std::min(frames, fSwellLeft);
    if (swelling > 0) {
        RenderLoop<true>(buffer, swelling);
        fSwellLeft -= swelling;
    }
    RenderLoop<false>(buffer + swelling, frames - swelling);
    if (fNoiseLeft > 0)
        AddFingerNoise(buffer, frames);
    fSampleCount =
        static_cast<int>(static_cast<uint32_t>(fSampleCount) + static_cast<uint32_t>(frames));
}

template <bool kSwelling> void ConcertString::RenderLoop(float* buffer, int frames)
{
    // Local copies stay in registers: the ring's stores cannot alias them.
    float* const ring = fDelayLine.get();
    const float* const shape = fShape.get();
    LoopFilter filter = fFilter;
    const uint32_t length = static_cast<uint32_t>(filter.length);
    const int shapeLength = filter.length;
    const float step = fSwellStep;
    int shapePos = fSwellPos;
    uint32_t readPos = fReadPos;
    for (int j = 0; j < frames; ++j) {
        const float leaving = ring[readPos & kMask];
        float back = filter.Tick(leaving);
        if (kSwelling) {
            back += step * shape[shapePos];
            shapePos = shapePos + 1 < shapeLength ? shapePos + 1 : 0;
        }
        ring[(readPos + length) & kMask] = back;
        buffer[j] = leaving;
        ++readPos;
    }
    fReadPos = readPos;
    fSwellPos = shapePos;
    fFilter = filter;
}

void ConcertString::AddFingerNoise(float* buffer, int frames)
{
    const int count = std::min(frames, fNoiseLeft);
    float gain = fNoiseGain, colour = fNoiseColour;
    uint32_t state = fNoiseState;
    for (int j = 0; j < count; ++j) {
        state = state * 1664525u + 1013904223u;
        const float white =
            static_cast<float>(static_cast<int32_t>(state)) * (1.0f / 2147483648.0f);
        colour = (1.0f - kNoiseColour) * white + kNoiseColour * colour;
        buffer[j] += gain * colour;
        gain *= fNoiseFade;
    }
    fNoiseLeft -= count;
    fNoiseGain = gain;
    fNoiseColour = colour;
    fNoiseState = state;
}
