#pragma once

#include <malloc.h>

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
