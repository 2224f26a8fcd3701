// Shared tables of 4096 entries: past 1024 the trapezoid's ramps stop growing with the table.
#include "WindowTestSupport.h"

TEST(WindowTables4096, TrapezoidRampsAre512Entries)
{
    expectRamps(sharedTable(4096, kTrapezoid), 4096, 512, 4096 - 512, 512);
}
