#pragma once

#include <ostream>
#include <sstream>

// Writes one status line (the parts, then a line end) with a single write and a flush. The
// window, tracking and MIDI threads all print; a line written piece by piece could be torn
// apart by another thread's line. Formats as the stream does by default (six significant
// digits for floats). Never call it on the audio thread: it allocates, and never while holding a
// lock the audio or window thread takes: the console may hold the write. How src/ and app/ write
// every line of their own; tracking/, which does not see src/, has Leap::reportToStandardError.
template <typename... Parts> void WriteLine(std::ostream& out, const Parts&... parts)
{
    std::ostringstream line;
    (line << ... << parts) << '\n';
    out << line.str() << std::flush;
}
