#pragma once

#include <ostream>
#include <sstream>

// Writes one status line (the parts, then a line end) with a single write and a flush. The
// window, tracking and MIDI threads all print; a line written piece by piece could be torn
// apart by another thread's line. Formats as the stream does by default (six significant
// digits for floats). Never call it on the audio thread: it allocates.
template <typename... Parts> void WriteLine(std::ostream& out, const Parts&... parts)
{
    std::ostringstream line;
    (line << ... << parts) << '\n';
    out << line.str() << std::flush;
}
