// The sound engine as the page's AudioWorkletProcessor runs it: the same server, strings and
// harp as the desktop program, compiled to a wasm module of its own with no JavaScript glue.
// The worklet calls these functions on the browser's audio thread, one at a time.

#include <malloc.h>

#include <algorithm>

#include "app/instrument/Harp.h"
#include "src/AudioServer.h"
#include "src/Voices.h"
#include "src/nodes/SampleAccumulator.h"

namespace {

constexpr int kChannels = 2;
constexpr int kBurstLength = 512; // samples of one pluck's excitation
// Plucks waiting for the block they sound in: a replay schedules a little ahead.
constexpr int kQueueCapacity = 64;
// Pairs of each string's waveform handed to the picture at a time.
constexpr int kWaveformPairs = 256;

struct PendingPluck {
    int stringIndex;
    float pitch;    // notes, 69 = 440 Hz
    int velocity;   // 0..127
    double atFrame; // context frame it sounds from; 0: at once
    float burst[kBurstLength];
};

PendingPluck sQueue[kQueueCapacity];
int sQueued = 0;
int sDropped = 0; // plucks refused by a full queue
float sBurst[kBurstLength];
float sOutput[kChannels * AudioServer::kMaxBlockFrames];
float sWaveforms[Harp::kMaxStrings * kWaveformPairs];
int sWaveformCounts[Harp::kMaxStrings];
SampleAccumulator::Pair sPairs[SampleAccumulator::kCapacity];

// The harp's mutexes take nothing here: the module is built without threads, so they are
// Emscripten's stubs, and a pluck waits for no one.
void Sound(PendingPluck& pluck)
{
    Harp* harp = Harp::GetInstance();
    if (pluck.stringIndex < 0 || pluck.stringIndex >= harp->GetNumStrings())
        return; // removed since the pluck was sent
    harp->ExciteString(pluck.stringIndex, pluck.pitch, pluck.velocity, pluck.burst, kBurstLength);
}

} // namespace

extern "C" {

// The context's rate in Hz; before anything else.
void quorvel_start(float rate)
{
    AudioServer::GetInstance()->SetFs(rate);
    AudioServer::GetInstance()->SetOutputChannels(kChannels);
    // Plucks sound inside the render pass here: the page prints their lines where it makes them.
    Voice::SetNoteLines(false);
    // Every string is built now, so that a change of count never builds or frees one.
    Harp::GetInstance()->BuildAllStrings();
}

// Where the worklet writes the next pluck's burst (kBurstLength floats).
float* quorvel_burst()
{
    return sBurst;
}

// Queues a pluck with the burst just written; false when the queue is full.
int quorvel_pluck(int stringIndex, float pitch, int velocity, double atFrame)
{
    if (sQueued == kQueueCapacity) {
        ++sDropped;
        return 0;
    }
    PendingPluck& pluck = sQueue[sQueued++];
    pluck.stringIndex = stringIndex;
    pluck.pitch = pitch;
    pluck.velocity = velocity;
    pluck.atFrame = atFrame;
    std::copy(sBurst, sBurst + kBurstLength, pluck.burst);
    return 1;
}

int quorvel_dropped()
{
    return sDropped;
}

// Bytes of the module's fixed heap in use: the measure of whether every string fits.
int quorvel_heap_used()
{
    return static_cast<int>(mallinfo().uordblks);
}

// The strings' voice: 0 classic, 1 concert (Harp::VoiceKind). Builds all 30 anew, so allocates:
// called from a port message, between blocks, never from process().
void quorvel_voice(int voice)
{
    Harp::GetInstance()->SetVoice(voice == 1 ? Harp::VoiceKind::kConcert
                                             : Harp::VoiceKind::kClassic);
}

// Plays the first `strings` strings (Harp's limits hold). A string taken away falls silent at
// once, as on the desktop; nothing is built or freed.
void quorvel_strings(int strings)
{
    Harp* harp = Harp::GetInstance();
    const int count = std::clamp(strings, Harp::kMinStrings, Harp::kMaxStrings);
    while (harp->GetNumStrings() < count)
        harp->AddString();
    while (harp->GetNumStrings() > count)
        harp->RemoveString();
}

// One block of `frames` (at most AudioServer::kMaxBlockFrames) starting at context frame
// `firstFrame`: the plucks due by its end sound first. The output is non-interleaved stereo.
float* quorvel_render(int frames, double firstFrame)
{
    const double due = firstFrame + frames;
    int kept = 0;
    for (int i = 0; i < sQueued; ++i) {
        if (sQueue[i].atFrame < due)
            Sound(sQueue[i]);
        else if (kept != i)
            sQueue[kept++] = sQueue[i];
        else
            ++kept;
    }
    sQueued = kept;
    AudioServer::GetInstance()->AudioServerCallback(nullptr, sOutput,
                                                    static_cast<unsigned int>(frames));
    return sOutput;
}

// Collects every string's newest waveform pairs (their signed peaks) for the picture, between
// blocks on the audio thread: into arrays of the module's own, allocating nothing.
float* quorvel_waveforms()
{
    std::vector<SampleAccumulator*>& taps = Harp::GetInstance()->GetBuffers();
    const int strings = std::min<int>(static_cast<int>(taps.size()), Harp::kMaxStrings);
    for (int s = 0; s < strings; ++s) {
        const int pending = taps[static_cast<std::size_t>(s)]->Collect(sPairs);
        const int count = std::min(pending, kWaveformPairs);
        const SampleAccumulator::Pair* newest = sPairs + (pending - count);
        float* out = sWaveforms + s * kWaveformPairs;
        for (int i = 0; i < count; ++i) {
            const SampleAccumulator::Pair& pair = newest[i];
            out[i] = std::abs(pair.first) > std::abs(pair.second) ? pair.first : pair.second;
        }
        sWaveformCounts[s] = count;
    }
    for (int s = strings; s < Harp::kMaxStrings; ++s)
        sWaveformCounts[s] = 0;
    return sWaveforms;
}

int* quorvel_waveform_counts()
{
    return sWaveformCounts;
}

} // extern "C"
