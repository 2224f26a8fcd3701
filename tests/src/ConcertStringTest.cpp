// The concert string alone, rendered outside any server pass.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "src/ConcertString.h"

namespace {

std::vector<float> Pluck(ConcertString& string, float pitch, int samples)
{
    srand(7);
    testing::internal::CaptureStdout();
    string.NoteOn(pitch, 127, nullptr, 0);
    testing::internal::GetCapturedStdout();
    std::vector<float> out(samples);
    for (int done = 0; done < samples; done += 256)
        string.Render(out.data() + done, std::min(256, samples - done));
    return out;
}

// Seconds from the loudest 10 ms to the first 10 ms that is 40 dB below it.
double SecondsTo40dBDown(const std::vector<float>& out)
{
    std::vector<double> level;
    for (size_t at = 0; at + 441 <= out.size(); at += 441) {
        double sum = 0.0;
        for (size_t i = at; i < at + 441; ++i)
            sum += out[i] * out[i];
        level.push_back(sum);
    }
    size_t loudest = 0;
    for (size_t i = 0; i < level.size(); ++i)
        if (level[i] > level[loudest])
            loudest = i;
    for (size_t i = loudest; i < level.size(); ++i)
        if (level[i] < 1e-4 * level[loudest])
            return (i - loudest) * 0.01;
    return level.size() * 0.01;
}

// The loop's filters delay the fundamental by their phase delay: the line is cut to make up
// for it, with the early loss, the swell and the finger noise all running (skipped: 60 ms).
TEST(ConcertStringTest, EveryNoteIsInTuneWithinACent)
{
    ConcertString string;
    for (float pitch = 28.0f; pitch <= 108.0f; pitch += 2.5f) {
        const double hz = 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0);
        const int skip = 2646;
        const std::vector<float> out =
            Pluck(string, pitch, skip + static_cast<int>(16 * 44100 / hz));
        const std::vector<float> tone(out.begin() + skip, out.end());
        const double cents = 1200.0 * std::log2(audiotest::FundamentalHz(tone, 44100.0, hz) / hz);
        EXPECT_LE(std::fabs(cents), 1.0) << "pitch " << pitch;
    }
}

// A harp's top string takes about half as long as its middle C to fall 40 dB (0.45 for the
// sampled harp); a string whose loss grows as the cube of the pitch takes a fiftieth.
TEST(ConcertStringTest, TopStringRingsHalfAsLongAsMiddleC)
{
    ConcertString string;
    const double middle = SecondsTo40dBDown(Pluck(string, 60.0f, 4 * 44100));
    const double top = SecondsTo40dBDown(Pluck(string, 96.0f, 4 * 44100));
    EXPECT_GT(middle, 1.0);
    EXPECT_GT(top / middle, 0.3) << top << " s against " << middle << " s";
}

} // namespace
