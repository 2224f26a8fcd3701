#include "src/nodes/SampleAccumulator.h"

#include <algorithm>

#include "src/RealtimeSection.h"

namespace {
// Completed pairs gathered on the stack before one locked append.
constexpr int kPairBatch = 256;
} // namespace

SampleAccumulator::SampleAccumulator()
    : fPairs(new Pair[kCapacity]), fPairsHead(0), fPairsSize(0), fSamplesPerPixel(12), fMin(0.0f),
      fMax(0.0f), fCount(0), fInput(nullptr), fCollected(new Pair[kCapacity])
{
}

SampleAccumulator::~SampleAccumulator() = default;

void SampleAccumulator::SetInput(AudioClient* input)
{
    fInput = input;
}

void SampleAccumulator::SetSamplesPerPixel(int samplesPerPixel)
{
    fSamplesPerPixel = samplesPerPixel;
}

void SampleAccumulator::Render(float* buffer, int frames)
{
    if (fInput == nullptr)
        return;
    fInput->Process(buffer, frames);

    // Filled before it is read: left uninitialised, unlike an array of std::pair.
    struct Extremes {
        float largest, smallest;
    } completed[kPairBatch];
    int pending = 0;
    float largest = fMax;
    float smallest = fMin;
    int count = fCount;
    const int last =
        std::max(fSamplesPerPixel - 1, 0); // 1 or fewer: every sample completes a group
    // A group's maximum never falls below its minimum, so these equal the "larger, else
    // smaller" update of one sample.
    auto take = [&largest, &smallest](float s) {
        largest = s > largest ? s : largest;
        smallest = s < smallest ? s : smallest;
    };
    // The sample at k completes the open group and opens the next one.
    auto complete = [&](int k) {
        completed[pending++] = {largest, smallest};
        if (pending == kPairBatch) {
            Append(&completed[0].largest, pending);
            pending = 0;
        }
        largest = smallest = buffer[k];
        count = 0;
    };
    int k = 0;
    // The open group takes what it still lacks, as far as the block goes.
    for (; count < last && k < frames; ++k, ++count)
        take(buffer[k]);
    if (k < frames) {
        complete(k++);
        // Whole groups: the followers of the group just opened and the sample completing it.
        while (k + last < frames) {
            for (const int end = k + last; k < end; ++k)
                take(buffer[k]);
            complete(k++);
        }
        for (; k < frames; ++k, ++count)
            take(buffer[k]);
    }
    if (pending > 0)
        Append(&completed[0].largest, pending);
    fMax = largest;
    fMin = smallest;
    fCount = count;
}

void SampleAccumulator::Append(const float* extremes, int count)
{
    realtime::AllowedLockGuard<RealtimeMutex> hold(fMutex, realtime::AllowedLock::kTap);
    // Only the newest kCapacity pairs can stay; older ones are dropped from the front.
    if (count > kCapacity) {
        extremes += 2 * (count - kCapacity);
        count = kCapacity;
    }
    const int overflow = fPairsSize + count - kCapacity;
    if (overflow > 0) {
        fPairsHead = (fPairsHead + overflow) % kCapacity;
        fPairsSize -= overflow;
    }
    int tail = (fPairsHead + fPairsSize) % kCapacity;
    for (int i = 0; i < count; ++i) {
        fPairs[tail] = Pair(extremes[2 * i], extremes[2 * i + 1]);
        tail = tail + 1 == kCapacity ? 0 : tail + 1;
    }
    fPairsSize += count;
}

std::deque<SampleAccumulator::Pair> SampleAccumulator::Get()
{
    std::lock_guard<std::mutex> collecting(fCollectMutex);
    const int size = Collect(fCollected.get());
    return std::deque<Pair>(fCollected.get(), fCollected.get() + size);
}

int SampleAccumulator::Collect(Pair* out)
{
    std::lock_guard<RealtimeMutex> hold(fMutex);
    const int size = fPairsSize;
    const int firstRun = std::min(size, kCapacity - fPairsHead);
    std::copy(fPairs.get() + fPairsHead, fPairs.get() + fPairsHead + firstRun, out);
    std::copy(fPairs.get(), fPairs.get() + (size - firstRun), out + firstRun);
    fPairsHead = 0;
    fPairsSize = 0;
    return size;
}
