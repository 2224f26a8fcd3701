// What one string costs in the graph, next to the bare recurrence (untuned and tuned) and STK's
// plucked string, and how long a pluck holds the server lock against the audio thread.

#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/instrument/Harp.h"
#include "src/AudioServer.h"
#include "src/Voices.h"

#ifdef QUORVEL_BENCH_STK
#include <Plucked.h>
#endif

// Reaches the two halves of a note-on, which the voice keeps to itself.
class KarplusProbe {
public:
    static Karplus::PreparedNote Prepare(Karplus& string, int note, int velocity, int burstLength)
    {
        return string.PrepareNote(note, velocity, burstLength);
    }
    static void Apply(Karplus& string, const Karplus::PreparedNote& prepared, float* burst,
                      int burstLength)
    {
        string.ApplyNote(prepared, burst, burstLength);
    }
};

namespace {

constexpr int kFrames = 256;
constexpr float kFs = 44100.0f;

// The note of string i in the pentatonic major scale, as the pluck detector maps it.
int NoteOfString(int i)
{
    static const int kScale[] = {0, 2, 5, 7, 9};
    return 32 + 12 * (i / 5) + kScale[i % 5];
}

float Frequency(int note)
{
    return 8.1757994f * std::pow(2.0f, note / 12.0f);
}

std::vector<float> Burst()
{
    std::vector<float> burst(512);
    for (int j = 0; j < 512; ++j)
        burst[j] = j < 256 ? j / 256.0f : 1.0f - (j - 256) / 256.0f;
    return burst;
}

// Swallows the note lines while it lives.
class QuietConsole {
public:
    QuietConsole() : fSaved(std::cout.rdbuf(fSink.rdbuf())) {}
    ~QuietConsole() { std::cout.rdbuf(fSaved); }

private:
    std::ostringstream fSink;
    std::streambuf* fSaved;
};

void PerStringSample(benchmark::State& state, int strings)
{
    state.counters["per_string_sample"] = benchmark::Counter(
        static_cast<double>(strings) * kFrames,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The harp at n strings, each just plucked; the server that plays it.
AudioServer* SoundStrings(int strings)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetFs(kFs);
    server->SetOutputChannels(2);
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() < strings)
        harp->AddString();
    while (harp->GetNumStrings() > strings)
        harp->RemoveString();
    QuietConsole quiet;
    for (int i = 0; i < strings; ++i) {
        std::vector<float> burst = Burst();
        harp->ExciteString(i, NoteOfString(i), 127, burst.data(), 512);
    }
    return server;
}

// (a) One full server pass of 256 frames with the harp at n sounding strings.
void BM_HarpPass(benchmark::State& state)
{
    const int strings = static_cast<int>(state.range(0));
    AudioServer* server = SoundStrings(strings);
    std::vector<float> input(kFrames), output(2 * kFrames);
    for (auto _ : state) {
        server->AudioServerCallback(input.data(), output.data(), kFrames);
        benchmark::DoNotOptimize(output.data());
    }
    PerStringSample(state, strings);
}
BENCHMARK(BM_HarpPass)->Arg(1)->Arg(10)->Arg(30);

// (b) The same recurrence with no graph around it: the floor for this algorithm, without and
// with the tuning allpass.
template <bool kTuned> void BM_BareLoop(benchmark::State& state)
{
    const int strings = static_cast<int>(state.range(0));
    constexpr uint32_t kMask = Karplus::kMaxSize - 1;
    struct Line {
        std::vector<float> ring = std::vector<float>(Karplus::kMaxSize);
        uint32_t readPos = 0, writePos = 0;
        float allpassIn = 0.0f, allpassOut = 0.0f;
    };
    std::vector<Line> lines(strings);
    for (int i = 0; i < strings; ++i) {
        lines[i].writePos = static_cast<uint32_t>(kFs / Frequency(NoteOfString(i)));
        for (uint32_t k = 0; k < lines[i].writePos; ++k)
            lines[i].ring[k] = std::sin(0.37f * k);
    }
    const float decay = 0.99f, amplitude = 1.0f, allpass = -0.1f;
    std::vector<float> out(kFrames);
    for (auto _ : state) {
        for (Line& line : lines) {
            float* ring = line.ring.data();
            uint32_t r = line.readPos, w = line.writePos;
            float newest = ring[(w - 1) & kMask];
            float allpassIn = line.allpassIn, allpassOut = line.allpassOut;
            for (int j = 0; j < kFrames; ++j) {
                const float oldest = ring[r & kMask];
                if constexpr (kTuned) {
                    const float damped = oldest * decay;
                    allpassOut = (allpass * damped + allpassIn) - allpass * allpassOut;
                    allpassIn = damped;
                    newest = (allpassOut + newest) * 0.5f;
                } else {
                    newest = (oldest * decay + newest) * 0.5f;
                }
                ring[w & kMask] = newest;
                out[j] = oldest * amplitude;
                ++r;
                ++w;
            }
            line.readPos = r;
            line.writePos = w;
            line.allpassIn = allpassIn;
            line.allpassOut = allpassOut;
            benchmark::DoNotOptimize(out.data());
        }
    }
    PerStringSample(state, strings);
}
BENCHMARK_TEMPLATE(BM_BareLoop, false)->Arg(30);
BENCHMARK_TEMPLATE(BM_BareLoop, true)->Arg(30);

#ifdef QUORVEL_BENCH_STK
// STK's plucked strings, one per string of the harp, each just plucked at its note.
std::vector<stk::Plucked> StkVoices(int strings)
{
    stk::Stk::setSampleRate(kFs);
    std::vector<stk::Plucked> voices(strings, stk::Plucked(40.0));
    for (int i = 0; i < strings; ++i)
        voices[i].noteOn(Frequency(NoteOfString(i)), 1.0);
    return voices;
}

// One block of every voice.
void TickStk(std::vector<stk::Plucked>& voices, stk::StkFrames& frames)
{
    for (stk::Plucked& voice : voices) {
        voice.tick(frames);
        benchmark::DoNotOptimize(&frames[0]);
    }
}

// (c) The plucked-string voice of the Synthesis ToolKit, block by block.
void BM_StkPlucked(benchmark::State& state)
{
    const int strings = static_cast<int>(state.range(0));
    std::vector<stk::Plucked> voices = StkVoices(strings);
    stk::StkFrames frames(kFrames, 1);
    for (auto _ : state)
        TickStk(voices, frames);
    PerStringSample(state, strings);
}
BENCHMARK(BM_StkPlucked)->Arg(30);
#endif

// (d) One pluck of note 32 with a 512-sample burst, everything included (the note line goes to
// a string stream).
void BM_Excitation(benchmark::State& state)
{
    QuietConsole quiet;
    Karplus string(0.009f);
    std::vector<float> burst = Burst();
    for (auto _ : state) {
        burst = Burst();
        string.NoteOn(32, 127, burst.data(), 512);
    }
}
BENCHMARK(BM_Excitation);

// (d) The part of that pluck done under the server lock: retune and one-period excitation.
// Reports the shortest, median, 99th percentile and longest hold seen.
void BM_ExcitationLockHold(benchmark::State& state)
{
    AudioServer* server = AudioServer::GetInstance();
    Karplus string(0.009f);
    std::vector<float> burst = Burst();
    std::vector<double> holds;
    holds.reserve(1 << 20);
    for (auto _ : state) {
        const auto prepared = KarplusProbe::Prepare(string, 32, 127, 512);
        burst = Burst();
        server->EnterLock();
        const auto start = std::chrono::steady_clock::now();
        KarplusProbe::Apply(string, prepared, burst.data(), 512);
        const auto end = std::chrono::steady_clock::now();
        server->ExitLock();
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        if (holds.size() < holds.capacity())
            holds.push_back(seconds);
    }
    std::sort(holds.begin(), holds.end());
    if (!holds.empty()) {
        state.counters["hold_min_us"] = holds.front() * 1e6;
        state.counters["hold_p50_us"] = holds[holds.size() / 2] * 1e6;
        state.counters["hold_p99_us"] = holds[holds.size() * 99 / 100] * 1e6;
        state.counters["hold_max_us"] = holds.back() * 1e6;
    }
    state.counters["period"] = string.Length();
}
BENCHMARK(BM_ExcitationLockHold)->UseManualTime();

// The work of (a) and (c) at 30 strings, counted by callgrind only inside the passes
// (`valgrind --tool=callgrind --collect-atstart=no audio_bench --instructions harp|stk`, or
// `concert` for the harp in its concert voice, `concert-room` for it in a room): an
// instruction count does not change with the machine's load, as times do.
constexpr int kCountedStrings = 30;
constexpr int kCountedPasses = 200;

int CountInstructions(const std::string& engine)
{
    const int samples = kCountedStrings * kCountedPasses * kFrames;
    if (engine == "harp" || engine == "concert" || engine == "concert-room") {
        std::cout << samples << " string-samples\n";
        if (engine == "concert-room")
            Harp::SetRoom(0.3f);
        if (engine != "harp")
            Harp::GetInstance()->SetVoice(Harp::VoiceKind::kConcert);
        AudioServer* server = SoundStrings(kCountedStrings);
        std::vector<float> input(kFrames), output(2 * kFrames);
        CALLGRIND_TOGGLE_COLLECT;
        for (int pass = 0; pass < kCountedPasses; ++pass)
            server->AudioServerCallback(input.data(), output.data(), kFrames);
        CALLGRIND_TOGGLE_COLLECT;
        benchmark::DoNotOptimize(output.data());
        return 0;
    }
#ifdef QUORVEL_BENCH_STK
    if (engine == "stk") {
        std::cout << samples << " string-samples\n";
        std::vector<stk::Plucked> voices = StkVoices(kCountedStrings);
        stk::StkFrames frames(kFrames, 1);
        CALLGRIND_TOGGLE_COLLECT;
        for (int pass = 0; pass < kCountedPasses; ++pass)
            TickStk(voices, frames);
        CALLGRIND_TOGGLE_COLLECT;
        return 0;
    }
#endif
    std::cerr << "audio_bench: --instructions takes harp, concert, concert-room or stk (stk only "
                 "when built "
                 "with STK)\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--instructions")
        return CountInstructions(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
