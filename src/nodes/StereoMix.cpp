#include "src/nodes/StereoMix.h"

#include <algorithm>
#include <cmath>

class StereoMix::RightSide final : public AudioClient {
public:
    explicit RightSide(StereoMix* mix) : fMix(mix) {}
    ~RightSide() = default;

    void Render(float* buffer, int frames) override
    {
        // Pulling the mix renders this block's two sides if nobody has yet.
        fMix->Process(buffer, frames);
        std::copy(fMix->fRight.get(), fMix->fRight.get() + frames, buffer);
    }

private:
    StereoMix* fMix;
};

StereoMix::StereoMix(float gain, float sampleRate)
    : fInputs(), fLeftGain(), fRightGain(), fCount(0), fGain(gain),
      fRight(new float[AudioServer::kMaxBlockFrames]()), fDelayRing(new float[kRing]()),
      fDiffuseRing(new float[kRing]()),
      fSpreadDelay(std::clamp(static_cast<int>(kSpreadMs * 0.001 * sampleRate), 1, kRing - 1)),
      fDiffuseDelay(std::clamp(static_cast<int>(kDiffuseMs * 0.001 * sampleRate), 1, kRing - 1)),
      fPos(0), fRightSide(new RightSide(this))
{
}

StereoMix::~StereoMix() = default;

AudioClient* StereoMix::Right()
{
    return fRightSide.get();
}

void StereoMix::Place(int index, int count, float& left, float& right)
{
    const double x = count > 0 ? (index + 0.5) / count : 0.5; // 0 = left edge
    const double angle = 0.7853981633974483 * (1.0 + kWidth * (2.0 * x - 1.0));
    left = static_cast<float>(std::cos(angle));
    right = static_cast<float>(std::sin(angle));
}

void StereoMix::PlaceAll()
{
    for (int i = 0; i < fCount; ++i)
        Place(i, fCount, fLeftGain[i], fRightGain[i]);
}

void StereoMix::AddInput(AudioClient* input)
{
    if (fCount >= kMaxInputs || std::find(fInputs, fInputs + fCount, input) != fInputs + fCount)
        return;
    fInputs[fCount++] = input;
    PlaceAll();
}

void StereoMix::RemoveInput(AudioClient* input)
{
    AudioClient** end = std::remove(fInputs, fInputs + fCount, input);
    fCount = static_cast<int>(end - fInputs);
    PlaceAll();
}

void StereoMix::Render(float* buffer, int frames)
{
    float* const right = fRight.get();
    std::fill(right, right + frames, 0.0f);
    float scratch[AudioServer::kMaxBlockFrames];
    for (int i = 0; i < fCount; ++i) {
        std::fill(scratch, scratch + frames, 0.0f);
        fInputs[i]->Process(scratch, frames);
        const float left = fLeftGain[i] * fGain, rightGain = fRightGain[i] * fGain;
        for (int j = 0; j < frames; ++j) {
            buffer[j] += left * scratch[j];
            right[j] += rightGain * scratch[j];
        }
    }
    float* const delayed = fDelayRing.get();
    float* const diffuse = fDiffuseRing.get();
    constexpr unsigned kMask = kRing - 1;
    unsigned pos = fPos;
    for (int j = 0; j < frames; ++j, ++pos) {
        delayed[pos & kMask] = 0.5f * (buffer[j] + right[j]);
        const float late = delayed[(pos - fSpreadDelay) & kMask];
        // Schroeder allpass: v[t] = x[t] + g v[t-D], y[t] = v[t-D] - g v[t].
        const float held = diffuse[(pos - fDiffuseDelay) & kMask];
        const float v = late + kDiffuseGain * held;
        diffuse[pos & kMask] = v;
        const float side = kSpread * (held - kDiffuseGain * v);
        buffer[j] += side;
        right[j] -= side;
    }
    fPos = pos;
}
