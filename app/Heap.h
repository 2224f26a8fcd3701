#pragma once

#include <malloc.h>

#include <chrono>

// Mesa's software renderer allocates and frees several megabytes per frame with fingertips in
// view. By default glibc hands the freed top of the heap back to the system after every frame
// and faults it in again on the next: about half of such a frame's time, and every shrink and
// growth takes the address-space lock that the audio thread's page faults also need. Keep freed
// heap memory mapped instead. Call once, first thing in the process.
inline void KeepFreedHeapMapped()
{
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
}

// Kept mapped, though, the pages a rare larger frame touched (one drawn after the window thread
// was held up under load) stay resident for good, and a night of playing would keep the memory
// of its worst frames. Once a minute hand back every free page; the next frame faults in only
// what it uses. Window thread; the audio thread allocates nothing and waits for no arena.
inline void TrimFreedHeapEveryMinute()
{
    using Clock = std::chrono::steady_clock;
    static Clock::time_point last = Clock::now();
    const Clock::time_point now = Clock::now();
    if (now - last < std::chrono::minutes(1))
        return;
    last = now;
    malloc_trim(0);
}
