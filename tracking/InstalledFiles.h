#pragma once

#include <string>

namespace Leap {

// The shared files of an installed program (PREFIX/share/quorvel beside PREFIX/bin or
// PREFIX/libexec/quorvel, where the running executable lies): the example performances and the
// camera's model set-up. A program run from a build tree has none, and everything here answers
// as it would in the checkout.

// PREFIX/share/quorvel of the running executable, or "" when it is not installed.
std::string installedDataDir();

// What sets up the hand models: the installed set-up, else the checkout's scripts/models.sh.
std::string modelSetUpCommand();

// The Debian packages the model set-up needs and this machine lacks, separated by spaces; "" when
// it has them all. Programs are looked for in `searchPath` (a PATH; empty: /usr/bin:/bin).
std::string missingSetUpPackages(const std::string& searchPath);

// A performance file by the name a player gives: the path itself when it exists, else an
// installed example of that name ("amazing-grace" or "amazing-grace.jsonl"), else the name as
// it was (so its error names what the player typed).
std::string findPerformance(const std::string& name);

} // namespace Leap
