#pragma once

// A path from the test program's folder: one compiled in whole differs in every clone, and the
// compile cache would serve no new clone these tests.

#include <filesystem>
#include <string>

namespace testsupport {

inline std::string FromTestProgram(const std::string& relative)
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / relative).string();
}

} // namespace testsupport
