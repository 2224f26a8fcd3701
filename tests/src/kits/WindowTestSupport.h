#pragma once

#include "src/kits/WindowFunction.h"

#include <gtest/gtest.h>

// The shared tables are built once per process, at the table length of the first WindowFunction:
// each window-table test executable fixes one length and builds its first object with it.

// The shared table of `type`, building the tables at `tableLength` entries if none exist yet.
inline const float* sharedTable(unsigned int tableLength, unsigned int type)
{
    WindowFunction reader(tableLength);
    reader.setWindowType(type);
    return reader.getWindowTable();
}

// Samples read until getNextSample reports the end of the pass, or `limit` if it never does.
inline int passLength(WindowFunction& window, int limit = 1 << 20)
{
    float value;
    for (int calls = 1; calls <= limit; ++calls) {
        if (window.getNextSample(value)) {
            return calls;
        }
    }
    return limit;
}

// Checks a trapezoid-like table whose rising ramp is `rise` entries long and whose falling ramp
// starts at entry `fallStart` and falls by 1 / `fallLength` per entry.
inline void expectRamps(const float* table, unsigned int length, unsigned int rise,
                        unsigned int fallStart, unsigned int fallLength)
{
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_EQ(table[1], 1.0f / static_cast<float>(rise));
    EXPECT_LT(table[rise - 1], 1.0f);
    EXPECT_EQ(table[rise], 1.0f);
    EXPECT_EQ(table[fallStart], 1.0f);
    EXPECT_EQ(table[fallStart + 1], 1.0f - 1.0f / static_cast<float>(fallLength));
    EXPECT_EQ(table[length - 1],
              1.0f - static_cast<float>(length - 1 - fallStart) / static_cast<float>(fallLength));
}
