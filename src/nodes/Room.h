#pragma once

#include <memory>

#include "src/AudioServer.h"

// A room around the instrument: a stereo reverberator of the Schroeder and Moorer kind (as
// Freeverb arranges it) after the mix. The two sides' sum feeds, per side, eight combs with a
// damped feedback in parallel and four allpasses in series; the right side's delays are a little
// longer, so the two tails differ. Each side's dry signal passes untouched and its tail, with a
// little of the other side's, is added at `amount`. Every delay line is sized when the node is
// built for the highest rate the engine runs at, so nothing is allocated while it plays.
//
// The node's own output is the left side; Right() is a node whose output is the right side of
// the same block. Its inputs are kept without being owned.
class Room final : public AudioClient {
public:
    static constexpr double kMaxRate = 192000.0; // Hz, the highest rate its lines hold
    static constexpr float kFeedback = 0.86f;    // the combs' loop gain: about 2 s of tail
    static constexpr float kDamping = 0.35f;     // the combs' one-pole low-pass: highs die sooner
    static constexpr float kCrossFeed = 0.15f;   // share of the other side's tail, never negative

    // left, right: the dry sides (the same node twice for a mono source); amount: the tail's
    // level, 0 (dry) to 1; sampleRate: Hz, up to kMaxRate.
    Room(AudioClient* left, AudioClient* right, float amount, float sampleRate);
    ~Room();

    // The right side's node; lives as long as the room.
    AudioClient* Right();

    // Audio thread: the left side into `buffer`, the right side kept for Right().
    void Render(float* buffer, int frames) override;

private:
    class RightSide;
    static constexpr int kCombs = 8;
    static constexpr int kAllpasses = 4;
    static constexpr int kLines = kCombs + kAllpasses; // per side
    static constexpr int kRing = 8192;                 // samples per line, a power of two

    AudioClient* fLeft;
    AudioClient* fRight;
    float fWet;
    int fDelay[2][kLines];              // samples
    float fCombStore[2][kCombs];        // each comb's low-pass memory; audio thread
    std::unique_ptr<float[]> fLines;    // 2 * kLines rings of kRing samples
    std::unique_ptr<float[]> fRightOut; // kMaxBlockFrames: this block's right side
    unsigned fPos;
    std::unique_ptr<RightSide> fRightSide;
};
