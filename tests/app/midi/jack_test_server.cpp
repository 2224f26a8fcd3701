// A JACK server with the dummy backend for one test, under a name no other test on this machine
// uses, and ended again however the test ends.
//
//   jack_test_server [RATE PERIOD]
//
// Prints the server's name on a line of its own once a client can join it; jackd writes to
// standard error. Stops jackd, waits for it and exits on SIGTERM, SIGINT or SIGHUP, and also
// when the process that started it ends, even by SIGKILL.
//
// JACK's registry counts a server as running while its pid answers kill(pid, 0): a killed jackd
// that nobody reaped (a zombie) or whose pid went to another process keeps its name taken. So a
// slot is held until this process has reaped its jackd, and the slot's file keeps the pid of the
// slot's jackd: a slot whose last jackd may still count is passed over.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// JACK's registry has room for eight servers in all.
constexpr int kSlots = 6;

using Clock = std::chrono::steady_clock;

void silent(const char*) {}

pid_t recordedPid(int lock)
{
    char text[32] = {};
    return pread(lock, text, sizeof text - 1, 0) > 0 ? static_cast<pid_t>(std::atol(text)) : 0;
}

void record(int lock, pid_t pid)
{
    const std::string text = pid > 0 ? std::to_string(pid) + "\n" : "";
    if (ftruncate(lock, 0) != 0 || pwrite(lock, text.data(), text.size(), 0) < 0)
        std::perror("jack_test_server: slot file");
}

// What a killed server of this name left in /dev/shm: its socket and its semaphores.
void removeLeftovers(const std::string& name)
{
    const std::string uid = std::to_string(getuid());
    const std::string prefixes[] = {"jack_" + name + "_" + uid + "_",
                                    "jack_sem." + uid + "_" + name + "_"};
    DIR* dir = opendir("/dev/shm");
    if (dir == nullptr)
        return;
    while (const dirent* entry = readdir(dir)) {
        for (const std::string& prefix : prefixes) {
            if (std::string(entry->d_name).rfind(prefix, 0) == 0)
                unlink(("/dev/shm/" + std::string(entry->d_name)).c_str());
        }
    }
    closedir(dir);
}

// Locks the first free slot from `first` on; its file (not inherited by jackd), or -1.
int takeSlot(int first, int& slot)
{
    for (slot = first; slot < kSlots; ++slot) {
        const std::string path = "/tmp/quorvel-midi-jack-" + std::to_string(slot) + ".lock";
        const int lock = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lock < 0)
            continue;
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            const pid_t last = recordedPid(lock);
            if (last <= 0 || kill(last, 0) != 0)
                return lock;
        }
        close(lock);
    }
    return -1;
}

bool serverAnswers()
{
    jack_status_t status;
    // Of this process's own name: JACK 2 binds a client's socket by name alone, across servers.
    const std::string name = "quorvel-test-probe-" + std::to_string(getpid());
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    jack_client_close(client);
    return true;
}

bool stopRequested(const sigset_t& stopSignals, long milliseconds)
{
    const timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    return sigtimedwait(&stopSignals, nullptr, &wait) > 0;
}

bool reaped(pid_t pid, int& status)
{
    return waitpid(pid, &status, WNOHANG) == pid;
}

// SIGTERM lets jackd leave the registry and /dev/shm clean; SIGKILL if it takes too long.
void stop(pid_t jackd)
{
    kill(jackd, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(2500);
    int status;
    while (Clock::now() < deadline) {
        if (reaped(jackd, status))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(jackd, SIGKILL);
    waitpid(jackd, &status, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const char* rate = argc > 2 ? argv[1] : "44100";
    const char* period = argc > 2 ? argv[2] : "256";
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopSignals, signal);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    // The starter may have asked for SIGKILL at its end; SIGTERM lets jackd be stopped first.
    const pid_t starter = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != starter)
        return 1;
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);

    int slot = -1;
    for (int lock = takeSlot(0, slot); lock >= 0; lock = takeSlot(slot + 1, slot)) {
        const std::string name = "quorvel-midi-" + std::to_string(slot);
        removeLeftovers(name);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        const pid_t jackd = fork();
        if (jackd == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
            dup2(2, 1);
            // Synchronous, with a generous client timeout: a client slowed down by a sanitizer
            // delays the cycle instead of losing its MIDI events.
            execlp("jackd", "jackd", "--no-realtime", "--sync", "--timeout", "5000", "-d", "dummy",
                   "-r", rate, "-p", period, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (jackd < 0)
            return 1;
        record(lock, jackd);

        int status = 0;
        bool ended = false;
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!(ended = reaped(jackd, status)) && !serverAnswers()) {
            if (Clock::now() > deadline || stopRequested(stopSignals, 50)) {
                stop(jackd);
                record(lock, 0);
                std::fprintf(stderr, "jack_test_server: %s did not start\n", name.c_str());
                return 1;
            }
        }
        if (ended) { // the name was taken after all: the next slot
            record(lock, 0);
            close(lock);
            continue;
        }

        std::printf("%s\n", name.c_str());
        std::fflush(stdout);
        while (!(ended = reaped(jackd, status)) && !stopRequested(stopSignals, 100)) {
        }
        if (!ended)
            stop(jackd);
        record(lock, 0);
        return ended ? 1 : 0;
    }
    std::fprintf(stderr, "jack_test_server: no JACK server started in a free slot of the tests "
                         "(/tmp/quorvel-midi-jack-*.lock)\n");
    return 1;
}
