// How far each string sounds from the frequency its note line prints: the fundamental of a noise
// pluck located in the rendered output, for every note the harp can reach and a little beyond,
// before the loop was tuned (a copy of the old loop, below) and as the voice renders now.
//
//   tuning_measure            the table and a summary
//   tuning_measure --summary  the summary only

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "AudioTestSupport.h"
#include "src/AudioServer.h"
#include "src/Voices.h"

namespace {

constexpr float kFs = 44100.0f;
constexpr int kLowestNote = 32;
constexpr int kHighestNote = 104;
constexpr int kPeriodsRendered = 16; // the measurement needs thirteen

float NoteHz(int note)
{
    return 8.1757994f * std::pow(2.0f, static_cast<float>(note) / 12.0f);
}

int SamplesToRender(float hz)
{
    return static_cast<int>(kPeriodsRendered * kFs / hz);
}

double Cents(double measuredHz, double nominalHz)
{
    return 1200.0 * std::log2(measuredHz / nominalHz);
}

// The loop before tuning: a line of trunc(Fs / f) samples and the averaging, nothing else.
std::vector<float> RenderUntuned(int note, unsigned seed)
{
    const int length = static_cast<int>(kFs / NoteHz(note));
    std::vector<float> line(length);
    srand(seed);
    for (float& sample : line)
        sample = audiotest::ReferenceNoise();
    std::vector<float> out(SamplesToRender(NoteHz(note)));
    float newest = line[length - 1];
    for (size_t t = 0; t < out.size(); ++t) {
        const float oldest = line[t % length];
        newest = (oldest * 0.99f + newest) * 0.5f;
        line[t % length] = newest;
        out[t] = oldest;
    }
    return out;
}

std::vector<float> RenderVoice(Karplus& string, int note, unsigned seed)
{
    srand(seed);
    std::ostringstream noteLine;
    std::streambuf* console = std::cout.rdbuf(noteLine.rdbuf());
    string.NoteOn(note, 127, nullptr, 0);
    std::cout.rdbuf(console);
    std::vector<float> out(SamplesToRender(NoteHz(note)));
    string.Render(out.data(), static_cast<int>(out.size()));
    return out;
}

struct Spread {
    double worst = 0.0;
    int beyondThree = 0;
    void Add(double cents)
    {
        worst = std::max(worst, std::fabs(cents));
        beyondThree += std::fabs(cents) > 3.0 ? 1 : 0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const bool summaryOnly = argc > 1 && std::strcmp(argv[1], "--summary") == 0;
    AudioServer::GetInstance()->SetFs(kFs);
    Karplus string(0.009f);
    Spread before[2], after[2]; // [0]: notes up to 96, [1]: above
    if (!summaryOnly)
        std::printf("note  nominal Hz  before cents  after cents\n");
    for (int note = kLowestNote; note <= kHighestNote; ++note) {
        const double nominal = NoteHz(note);
        const unsigned seed = static_cast<unsigned>(note);
        const double old =
            Cents(audiotest::FundamentalHz(RenderUntuned(note, seed), kFs, nominal), nominal);
        const double now =
            Cents(audiotest::FundamentalHz(RenderVoice(string, note, seed), kFs, nominal), nominal);
        before[note > 96].Add(old);
        after[note > 96].Add(now);
        if (!summaryOnly)
            std::printf("%4d  %10.3f  %12.3f  %11.3f\n", note, nominal, old, now);
    }
    std::printf("notes %d..96:  worst |error| before %.3f cents, after %.3f cents\n", kLowestNote,
                before[0].worst, after[0].worst);
    std::printf("notes 97..%d: worst |error| before %.3f cents, after %.3f cents\n", kHighestNote,
                before[1].worst, after[1].worst);
    std::printf("notes more than 3 cents off: before %d, after %d of %d\n",
                before[0].beyondThree + before[1].beyondThree,
                after[0].beyondThree + after[1].beyondThree, kHighestNote - kLowestNote + 1);
    return 0;
}
