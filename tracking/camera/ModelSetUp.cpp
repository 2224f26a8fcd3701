#include "tracking/camera/ModelSetUp.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tracking/InstalledFiles.h"

extern char** environ;

namespace Leap {

namespace {

constexpr int kPollMillis = 200;

void passLines(std::string& pending, std::ostream& log)
{
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        if (end > 0)
            log << ("model set-up: " + pending.substr(0, end) + "\n") << std::flush;
        pending.erase(0, end + 1);
    }
}

} // namespace

bool runModelSetUp(const std::function<bool()>& stopped, std::ostream& log)
{
    const std::string command = modelSetUpCommand();
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        log << "model set-up: cannot start: " << std::strerror(errno) << "\n" << std::flush;
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that stopping ends npm and Python with it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    // The ONNX Runtime this program loads, not whatever the machine has.
#if QUORVEL_SYSTEM_ONNXRUNTIME
    char runtime[] = "--onnxruntime=system";
#else
    char runtime[] = "--onnxruntime=bundled";
#endif
    char* argv[] = {const_cast<char*>(command.c_str()), runtime, nullptr};
    pid_t child = -1;
    const int error = posix_spawn(&child, command.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (error != 0) {
        close(pipeFds[0]);
        log << "model set-up: cannot start " << command << ": " << std::strerror(error) << "\n"
            << std::flush;
        return false;
    }

    std::string pending;
    bool ended = false;
    while (!ended) {
        if (stopped()) {
            kill(-child, SIGTERM);
            break;
        }
        pollfd output{pipeFds[0], POLLIN, 0};
        if (poll(&output, 1, kPollMillis) <= 0)
            continue;
        char chunk[4096];
        const ssize_t count = read(pipeFds[0], chunk, sizeof chunk);
        if (count > 0) {
            pending.append(chunk, static_cast<std::size_t>(count));
            passLines(pending, log);
        } else if (count == 0 || errno != EINTR) {
            ended = true;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pending += '\n';
    passLines(pending, log);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Leap
