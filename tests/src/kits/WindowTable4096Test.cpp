// Shared tables of 4096 entries: the longest ramps, and windows shorter than the table.
#include "WindowTestSupport.h"

namespace {

constexpr unsigned int kLength = 4096;

} // namespace

TEST(WindowTables4096, RampLengths)
{
    expectRamps(sharedTable(kLength, kTrapezoid), kLength, 512, kLength - 512, 512);
    expectRamps(sharedTable(kLength, kShortAttack), kLength, 128, 128, kLength - 128);
    expectRamps(sharedTable(kLength, kShortRelease), kLength, kLength - 128, kLength - 128, 128);
}

TEST(WindowFunction4096, ShortWindowReadsEveryFourthEntryAndKnowsItsSamplesLeft)
{
    WindowFunction window(kLength);
    window.setWindowType(kHann);
    window.setWindowLength(1024);
    const float* table = window.getWindowTable();

    // samplesRemain counts in window samples: true for all 1024, not only while the table
    // position is below the window length.
    int samples = 0;
    float value;
    while (window.samplesRemain() && samples < 5000) {
        const bool ended = window.getNextSample(value);
        ASSERT_EQ(value, table[4 * samples]) << samples;
        ++samples;
        ASSERT_EQ(ended, samples == 1024) << samples;
    }
    EXPECT_EQ(samples, 1024);

    // At the default window length the table is read entry by entry.
    window.setWindowLength(4096);
    EXPECT_EQ(passLength(window), 4096);
}
