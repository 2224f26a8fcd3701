#include "src/nodes/Room.h"

#include <algorithm>

namespace {

// Freeverb's tunings at 44.1 kHz: mutually prime-ish lengths, so the combs' echoes do not pile
// up on the same samples; the right side is kStereoSpread samples longer.
constexpr int kCombTuning[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassTuning[] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;
constexpr double kTuningRate = 44100.0;
constexpr float kInputGain = 0.015f; // eight combs of gain up to 1 / (1 - kFeedback)
constexpr float kWetScale = 3.0f;
constexpr float kAllpassGain = 0.5f;

} // namespace

class Room::RightSide final : public AudioClient {
public:
    explicit RightSide(Room* room) : fRoom(room) {}
    ~RightSide() = default;

    void Render(float* buffer, int frames) override
    {
        // Pulling the room renders this block's two sides if nobody has yet.
        fRoom->Process(buffer, frames);
        std::copy(fRoom->fRightOut.get(), fRoom->fRightOut.get() + frames, buffer);
    }

private:
    Room* fRoom;
};

Room::Room(AudioClient* left, AudioClient* right, float amount, float sampleRate)
    : fLeft(left), fRight(right), fWet(std::clamp(amount, 0.0f, 1.0f) * kWetScale), fDelay(),
      fCombStore(), fLines(new float[2 * kLines * kRing]()),
      fRightOut(new float[AudioServer::kMaxBlockFrames]()), fPos(0), fRightSide(new RightSide(this))
{
    const double scale = std::clamp(static_cast<double>(sampleRate), 1.0, kMaxRate) / kTuningRate;
    for (int side = 0; side < 2; ++side) {
        const int spread = side * kStereoSpread;
        for (int c = 0; c < kCombs; ++c)
            fDelay[side][c] = static_cast<int>((kCombTuning[c] + spread) * scale);
        for (int a = 0; a < kAllpasses; ++a)
            fDelay[side][kCombs + a] = static_cast<int>((kAllpassTuning[a] + spread) * scale);
        for (int& delay : fDelay[side])
            delay = std::clamp(delay, 1, kRing - 1);
    }
}

Room::~Room() = default;

AudioClient* Room::Right()
{
    return fRightSide.get();
}

void Room::Render(float* buffer, int frames)
{
    float* const right = fRightOut.get();
    std::fill(right, right + frames, 0.0f);
    if (fLeft != nullptr)
        fLeft->Process(buffer, frames);
    if (fRight != nullptr)
        fRight->Process(right, frames);

    constexpr unsigned kMask = kRing - 1;
    unsigned pos = fPos;
    for (int j = 0; j < frames; ++j, ++pos) {
        const float in = kInputGain * (buffer[j] + right[j]);
        float tail[2];
        for (int side = 0; side < 2; ++side) {
            float* const lines = fLines.get() + side * kLines * kRing;
            const int* const delay = fDelay[side];
            float* const stores = fCombStore[side];
            float sum = 0.0f;
            for (int c = 0; c < kCombs; ++c) {
                float* const ring = lines + c * kRing;
                const float held = ring[(pos - delay[c]) & kMask];
                float store = held * (1.0f - kDamping) + stores[c] * kDamping;
                // Flushes a dying tail to zero before it turns denormal and slow.
                store += 1e-18f;
                store -= 1e-18f;
                stores[c] = store;
                ring[pos & kMask] = in + kFeedback * store;
                sum += held;
            }
            for (int a = kCombs; a < kLines; ++a) {
                float* const ring = lines + a * kRing;
                const float held = ring[(pos - delay[a]) & kMask];
                ring[pos & kMask] = sum + kAllpassGain * held;
                sum = held - sum;
            }
            tail[side] = sum;
        }
        buffer[j] += fWet * (tail[0] + kCrossFeed * tail[1]);
        right[j] += fWet * (tail[1] + kCrossFeed * tail[0]);
    }
    fPos = pos;
}
