// Shared tables of 1024 entries: the default window of 4096 samples reads each entry 4 times.
#include "WindowTestSupport.h"

namespace {

constexpr unsigned int kLength = 1024;

} // namespace

TEST(WindowTables1024, RampLengths)
{
    expectRamps(sharedTable(kLength, kTrapezoid), kLength, 128, kLength - 128, 128);
    expectRamps(sharedTable(kLength, kShortAttack), kLength, 128, 128, kLength - 128);
    expectRamps(sharedTable(kLength, kShortRelease), kLength, kLength - 128, kLength - 128, 128);
}

TEST(WindowFunction1024, DefaultPassRepeatsEachEntryFourTimes)
{
    WindowFunction window(kLength);
    window.setWindowType(kTriangular);
    const float* table = window.getWindowTable();

    float value;
    for (int call = 1; call <= 4096; ++call) {
        EXPECT_TRUE(window.samplesRemain()) << call;
        const bool ended = window.getNextSample(value);
        ASSERT_EQ(ended, call == 4096) << call;
        ASSERT_EQ(value, table[(call - 1) / 4]) << call;
    }
    EXPECT_FALSE(window.samplesRemain());

    // The next call starts a new pass at entry 0.
    EXPECT_FALSE(window.getNextSample(value));
    EXPECT_EQ(value, table[0]);
    EXPECT_TRUE(window.samplesRemain());
    EXPECT_EQ(passLength(window), 4095);
}

TEST(WindowFunction1024, PositionTypeAndLengthChangesTakeEffectAtTheNextSample)
{
    WindowFunction window(kLength);
    window.setWindowLength(kLength);
    window.setWindowType(kShortAttack);
    float value;
    window.getNextSample(value);
    window.setIndex(100.0);
    window.getNextSample(value);
    EXPECT_EQ(value, sharedTable(kLength, kShortAttack)[100]);

    window.setWindowType(kHann);
    window.getNextSample(value);
    EXPECT_EQ(value, sharedTable(kLength, kHann)[101]);

    // Near the end: one more sample ends the pass, whichever type is read.
    window.setIndex(kLength - 1);
    EXPECT_TRUE(window.samplesRemain());
    EXPECT_TRUE(window.getNextSample(value));
    EXPECT_EQ(value, sharedTable(kLength, kHann)[kLength - 1]);

    // A new window length restarts the pass even after it ended.
    window.setWindowLength(2);
    EXPECT_TRUE(window.samplesRemain());
    EXPECT_FALSE(window.getNextSample(value));
    EXPECT_EQ(value, sharedTable(kLength, kHann)[0]);
    EXPECT_TRUE(window.getNextSample(value));
    EXPECT_EQ(value, sharedTable(kLength, kHann)[512]);
}

TEST(WindowFunction1024, ZeroLengthWindowHasNoSamplesButStaysSafe)
{
    WindowFunction window(kLength);
    window.setWindowType(kTriangular);
    window.setWindowLength(0);
    EXPECT_FALSE(window.samplesRemain());
    float value = -1.0f;
    for (int call = 0; call < 3; ++call) {
        EXPECT_TRUE(window.getNextSample(value));
        EXPECT_EQ(value, 0.0f);
    }
}

TEST(WindowFunction1024, AnotherTableLengthReadsTheSharedTablesAtTheirOwnLength)
{
    WindowFunction first(kLength);
    WindowFunction larger(4096);
    WindowFunction smaller(16);
    for (WindowFunction* window : {&larger, &smaller}) {
        window->setWindowType(kTriangular);
        EXPECT_EQ(window->getWindowTable(), sharedTable(kLength, kTriangular));

        // One sample per entry: a reader that believed its own length would skip entries (and
        // read past the end) or end the pass early.
        window->setWindowLength(kLength);
        const float* table = window->getWindowTable();
        float value;
        for (unsigned int entry = 0; entry < kLength; ++entry) {
            const bool ended = window->getNextSample(value);
            ASSERT_EQ(value, table[entry]) << entry;
            ASSERT_EQ(ended, entry == kLength - 1) << entry;
        }
    }
    EXPECT_EQ(gWindowTableLength, kLength);
}
