#pragma once

#include <functional>
#include <ostream>

namespace Leap {

// Runs the installed model set-up (modelSetUpCommand()) as a child process, each line it prints
// passed to `log` as "model set-up: LINE", until it ends or `stopped` answers true (checked a few
// times a second; the set-up is then ended). True when it ended well. For an installed program
// whose camera starts without models, so that a player who started it from the menu sees the
// set-up's progress in the window, which shows standard error's last line.
bool runModelSetUp(const std::function<bool()>& stopped, std::ostream& log);

} // namespace Leap
