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
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/FromTestProgram.h"

namespace miditest {

inline void silentJack(const char*) {}

// JACK 2 listens for a new client's server at /dev/shm/jack_CLIENT_UID_0, whatever the server:
// two processes opening clients of one name at once, even on servers of their own, take each
// other's socket (one is refused with status 0x21, or hears the other's server). The tests' own
// clients carry the process id; the instrument's fixed names open under this machine-wide lock.
class JackClientNameLock {
public:
    JackClientNameLock()
        : fLock(open("/tmp/quorvel-jack-client-names.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
    {
        if (fLock >= 0)
            flock(fLock, LOCK_EX);
    }
    ~JackClientNameLock()
    {
        if (fLock >= 0)
            close(fLock);
    }
    JackClientNameLock(const JackClientNameLock&) = delete;
    JackClientNameLock& operator=(const JackClientNameLock&) = delete;

private:
    int fLock;
};

inline std::string ownClientName(const char* base)
{
    return base + std::string("-") + std::to_string(getpid());
}

// True if a JACK client can connect to the server this process is pointed at (never starts one).
inline bool jackServerAnswers()
{
    jack_set_error_function(silentJack);
    jack_set_info_function(silentJack);
    jack_status_t status;
    jack_client_t* client =
        jack_client_open(ownClientName("quorvel-test-probe").c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return false;
    jack_client_close(client);
    return true;
}

#ifdef QUORVEL_JACK_TEST_SERVER
// A real JACK server with the dummy backend (no sound card) under a name of its own, which this
// process's JACK clients use from construction on; run by jack_test_server, which ends it when
// this process ends, however it ends. Stopped again by the destructor.
class JackServer {
public:
    JackServer()
    {
        // Unlinked at once: nothing is left behind by a test that was killed.
        char logPath[] = "/tmp/quorvel-midi-jack-XXXXXX";
        fLog = mkostemp(logPath, O_CLOEXEC);
        if (fLog >= 0)
            unlink(logPath);
        int out[2];
        if (fLog < 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        const std::string server = testsupport::FromTestProgram(QUORVEL_JACK_TEST_SERVER);
        const pid_t starter = getpid();
        fPid = fork();
        if (fPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test that was killed
            if (getppid() != starter)
                _exit(1);
            dup2(fLog, 2);
            dup2(out[1], 1);
            execl(server.c_str(), server.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string name;
        char c;
        while (fPid > 0 && read(out[0], &c, 1) == 1 && c != '\n')
            name += c;
        close(out[0]);
        if (name.empty())
            return;
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        fRunning = true;
    }

    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool Running() const { return fRunning; }

    // jackd's own output, for a failure message.
    std::string Log() const
    {
        std::string text;
        char chunk[4096];
        ssize_t got;
        for (off_t at = 0; (got = pread(fLog, chunk, sizeof chunk, at)) > 0; at += got)
            text.append(chunk, static_cast<std::size_t>(got));
        return text;
    }

    // Ends the server and waits for it.
    void Kill()
    {
        fRunning = false;
        if (fPid <= 0)
            return;
        kill(fPid, SIGTERM);
        waitpid(fPid, nullptr, 0);
        fPid = -1;
    }

    ~JackServer()
    {
        Kill();
        if (fLog >= 0)
            close(fLog);
    }

private:
    int fLog = -1;
    pid_t fPid = -1;
    bool fRunning = false;
};
#endif

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
        : fIn(RtMidi::UNIX_JACK, ownClientName("quorvel-midi-test"))
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

    // Built before fIn, whose JACK thread calls Received until fIn's destructor closes its client.
    // No cancelCallback before that: RtMidi clears the function before the flag its JACK thread
    // checks, so a message arriving in between calls a null function.
    std::mutex fLock;
    std::condition_variable fArrived;
    std::vector<Message> fMessages;
    RtMidiIn fIn;
    bool fConnected = false;
};

} // namespace miditest
