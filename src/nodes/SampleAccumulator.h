#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "src/AudioServer.h"
#include "src/RealtimeMutex.h"

// Display tap: passes its input through unchanged and reduces it, on the side, to one
// (maximum, minimum) pair per group of fSamplesPerPixel samples, one group per pixel column of a
// waveform display. The audio thread produces the pairs; a display thread collects them with Get.
//
// Pairs wait in a fixed-capacity queue allocated when the tap is built; when nobody collects
// for a while the oldest pairs are dropped, since the display shows only the newest.
class SampleAccumulator final : public AudioClient {
public:
    using Pair = std::pair<float, float>;

    // Pairs the tap keeps uncollected: about 70 ms at 6 samples per pixel and 44100 Hz, four
    // frames' worth at 60 frames per second. A frame that comes later draws only the newest:
    // drawing all of a long stall's pairs made the renderer's memory for that one frame, which
    // the heap then keeps, about 10 MB larger.
    static constexpr int kCapacity = 512;

    SampleAccumulator();
    ~SampleAccumulator();

    // Set before the tap is reachable from the audio thread.
    void SetInput(AudioClient* input);
    // Samples per pair, 1 and up (less than 1 acts as 1); the open group completes under it.
    void SetSamplesPerPixel(int samplesPerPixel);

    // Audio thread.
    void Render(float* buffer, int frames) override;

    // Any thread but the audio thread: every pending pair, oldest first; the queue is left empty.
    std::deque<Pair> Get();
    // As Get, into `out` (room for kCapacity pairs), allocating nothing; returns the count. For a
    // collector on the audio thread between its passes (the page's worklet), or one of its own.
    int Collect(Pair* out);

private:
    // Audio thread: queues `count` completed pairs, given as (largest, smallest) floats one after
    // the other, under fMutex; the oldest pairs are dropped when the queue is full.
    void Append(const float* extremes, int count);

    // Ring of pending pairs, kCapacity long, guarded by fMutex.
    std::unique_ptr<Pair[]> fPairs;
    int fPairsHead;
    int fPairsSize;
    // Held for one append of a block's pairs (audio thread) or one copy of the ring (Get).
    RealtimeMutex fMutex;

    int fSamplesPerPixel;
    // The open group; audio thread only.
    float fMin;
    float fMax;
    int fCount;
    AudioClient* fInput;

    // Get copies the ring here under fMutex and builds its deque after releasing it;
    // fCollectMutex keeps two collectors apart.
    std::unique_ptr<Pair[]> fCollected;
    std::mutex fCollectMutex;
};
