// quorvel: answers --help and --version itself, and otherwise becomes the player (same process,
// same arguments). Linking only the option table, it loads none of the window's or the camera's
// libraries for a question a package tool or a menu asks.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/OptionTable.h"

namespace {

const char kPlayer[] = "quorvel-player";

// The player beside this program (a build tree), else where an installation keeps it
// (PREFIX/libexec/quorvel beside PREFIX/bin; QUORVEL_PLAYER_FROM_BIN is that path from bin).
std::string FindPlayer()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path here = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path beside = here / kPlayer;
    if (!error && fs::exists(beside, error))
        return beside.string();
    return (here / QUORVEL_PLAYER_FROM_BIN / kPlayer).lexically_normal().string();
}

} // namespace

int main(int argc, char** argv)
{
    const OptionTable::Reading reading =
        OptionTable::Read(OptionTable::kPlayer, argc, argv, std::getenv);
    if (reading.help || reading.version) {
        std::cout << (reading.help ? OptionTable::HelpText(OptionTable::kPlayer)
                                   : OptionTable::VersionText(OptionTable::kPlayer) + "\n")
                  << std::flush;
        return 0;
    }
    const std::string player = FindPlayer();
    execv(player.c_str(), argv);
    std::cerr << "quorvel: cannot start the player " << player << ": " << std::strerror(errno)
              << "\n";
    return 2;
}
