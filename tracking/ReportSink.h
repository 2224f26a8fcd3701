#pragma once

#include <functional>
#include <iostream>
#include <string>

namespace Leap {

// Where a source's status lines go: one call per line, without the line end. Sources write to
// standard error unless a test hands them a sink of its own.
using ReportSink = std::function<void(const std::string& line)>;

// How the tracking library writes every line of its own on standard error: the line whole, in
// one write, then a flush, as WriteLine does for the rest of the program.
inline void reportToStandardError(const std::string& line)
{
    // One write per line, so that lines from different threads do not interleave.
    std::cerr << (line + "\n") << std::flush;
}

} // namespace Leap
