#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>

#include <RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace miditest {

inline void silentJack(const char*) {}

// True if a JACK client can connect to the server this process is pointed at (never starts one).
inline bool jackServerAnswers()
{
    jack_set_error_function(silentJack);
    jack_set_info_function(silentJack);
    jack_status_t status;
    jack_client_t* client = jack_client_open("quorvel-test-probe", JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    jack_client_close(client);
    return true;
}

// How many JACK servers the tests of this machine may run at once; JACK's registry has room for
// eight servers in all.
constexpr int kJackSlots = 6;

// Takes a JACK server name that no other test on this machine is using: the lock on the slot's
// file holds until this process (and the jackd it starts, which inherits it) ends, however it
// ends. Reusing a few names matters: a server that was killed leaves its entry in JACK's
// registry, and only a later server of the same name reclaims it. Returns the locked file, or -1.
inline int takeJackSlot(std::string& name)
{
    for (int slot = 0; slot < kJackSlots; ++slot) {
        const std::string lockPath = "/tmp/quorvel-midi-jack-" + std::to_string(slot) + ".lock";
        const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT, 0666);
        if (lock < 0)
            continue;
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            name = "quorvel-midi-" + std::to_string(slot);
            return lock;
        }
        close(lock);
    }
    return -1;
}

// A real JACK server with the dummy backend (no sound card), under a name of its own, which this
// process's JACK clients use from construction on. Stopped again by the destructor.
class JackServer {
public:
    JackServer()
    {
        fSlotLock = takeJackSlot(fName);
        if (fSlotLock < 0) {
            fLog = "every JACK slot of the tests is taken (/tmp/quorvel-midi-jack-*.lock)";
            return;
        }
        fLogPath = "/tmp/quorvel-midi-jack-" + std::to_string(getpid()) + ".log";
        setenv("JACK_DEFAULT_SERVER", fName.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        fPid = fork();
        if (fPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a test that was killed
            const int log = open(fLogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (log >= 0) {
                dup2(log, 1);
                dup2(log, 2);
            }
            // Synchronous, with a generous client timeout: a client slowed down by a sanitizer
            // delays the cycle instead of losing its MIDI events.
            execlp("jackd", "jackd", "--no-realtime", "--sync", "--timeout", "5000", "-d", "dummy",
                   "-r", "44100", "-p", "256", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Ended())
                return;
            if (jackServerAnswers()) {
                fRunning = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool Running() const { return fRunning; }

    // jackd's own output, for a failure message.
    std::string Log() const
    {
        std::ifstream in(fLogPath);
        std::stringstream text;
        text << fLog << in.rdbuf();
        return text.str();
    }

    // Ends the server (SIGTERM, then SIGKILL) and waits for it.
    void Kill()
    {
        fRunning = false;
        if (fPid <= 0)
            return;
        kill(fPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!Ended() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (fPid > 0) {
            kill(fPid, SIGKILL);
            waitpid(fPid, nullptr, 0);
            fPid = -1;
        }
        unlink(fLogPath.c_str());
    }

    ~JackServer()
    {
        Kill();
        if (fSlotLock >= 0)
            close(fSlotLock);
    }

private:
    bool Ended()
    {
        if (fPid > 0 && waitpid(fPid, nullptr, WNOHANG) == fPid)
            fPid = -1;
        return fPid <= 0;
    }

    std::string fName;
    std::string fLogPath;
    std::string fLog;
    int fSlotLock = -1;
    pid_t fPid = -1;
    bool fRunning = false;
};

struct Message {
    int status; // high nibble: 0x9 note-on, 0x8 note-off; low nibble: channel - 1
    int note;
    int velocity;

    bool IsNoteOn() const { return (status & 0xF0) == 0x90 && velocity > 0; }
    bool IsNoteOff() const
    {
        return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0);
    }
    int Channel() const { return (status & 0x0F) + 1; }
};

inline std::string describe(const std::vector<Message>& messages)
{
    std::ostringstream text;
    for (const Message& m : messages)
        text << (m.IsNoteOn()    ? "on "
                 : m.IsNoteOff() ? "off "
                                 : "other ")
             << m.note << " v" << m.velocity << " ch" << m.Channel() << "; ";
    return text.str();
}

// An RtMidi input on JACK connected to the instrument's port; collects what arrives.
class MidiListener {
public:
    explicit MidiListener(const std::string& sourcePort = "Quorvel:Quorvel")
        : fIn(RtMidi::UNIX_JACK, "quorvel-midi-test")
    {
        fIn.setCallback(&MidiListener::Received, this);
        for (unsigned int port = 0; port < fIn.getPortCount(); ++port) {
            if (fIn.getPortName(port) == sourcePort) {
                fIn.openPort(port, "in");
                fConnected = true;
                break;
            }
        }
        // The server answers a connection at once but applies it to its graph a few process
        // cycles (5.8 ms each here) later; what is sent before that is not delivered.
        if (fConnected)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

    ~MidiListener()
    {
        fIn.cancelCallback();
        fIn.closePort();
    }

    bool Connected() const { return fConnected; }

    // Waits until at least `count` messages have arrived in all, or the time is up.
    std::vector<Message> WaitFor(std::size_t count,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> hold(fLock);
        fArrived.wait_for(hold, timeout, [&] { return fMessages.size() >= count; });
        return fMessages;
    }

    std::vector<Message> Messages()
    {
        std::lock_guard<std::mutex> hold(fLock);
        return fMessages;
    }

private:
    static void Received(double, std::vector<unsigned char>* bytes, void* self)
    {
        auto* listener = static_cast<MidiListener*>(self);
        if (bytes->size() != 3)
            return;
        {
            std::lock_guard<std::mutex> hold(listener->fLock);
            listener->fMessages.push_back(Message{(*bytes)[0], (*bytes)[1], (*bytes)[2]});
        }
        listener->fArrived.notify_all();
    }

    // Built before fIn, whose JACK thread calls Received.
    std::mutex fLock;
    std::condition_variable fArrived;
    std::vector<Message> fMessages;
    RtMidiIn fIn;
    bool fConnected = false;
};

} // namespace miditest
