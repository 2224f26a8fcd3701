#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace servicetest {

using namespace std::chrono_literals;

constexpr char kGreeting[] = R"({"serviceVersion":"2.3.1+33747","version":6})";

// A port on the loopback interface that nothing listens on right now.
unsigned short freeLoopbackPort();

// A stand-in for the tracking service: a websocketpp server on a loopback port, on a thread of
// its own. Destroying it is the service dying: every connection drops without a closing
// handshake. A new FakeService on the same port is the service coming back.
class FakeService {
public:
    struct Behaviour {
        std::string greeting = kGreeting; // sent on open; empty: none
        int greetingDelayMs = 0;          // wait before the greeting
        int closeOnOpenCode = 0;          // close right after the handshake with this code
    };

    explicit FakeService(unsigned short port = 0) : FakeService(Behaviour(), port) {}
    FakeService(Behaviour behaviour, unsigned short port = 0);
    ~FakeService();

    unsigned short port() const { return fPort; }
    std::string url(const std::string& path = "/v6.json") const;

    // To every open connection, in order; returns once handed to the connections.
    void sendText(const std::string& text);
    void sendBinary(const std::string& bytes);

    // What happened, in order: "open PATH", "greeting", "request TEXT", "close".
    std::vector<std::string> log() const;
    std::size_t opened() const;
    // Waits until `ready(log)` holds; false after `timeout`.
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& ready,
                 std::chrono::milliseconds timeout = 5s) const;
    bool waitForOpened(std::size_t count, std::chrono::milliseconds timeout = 5s) const;

private:
    struct Engine; // the websocketpp server, in the source file: asio is slow to compile

    void note(const std::string& entry);
    void send(const std::string& payload, bool binary);
    void onOpen(std::weak_ptr<void> hdl);

    const Behaviour fBehaviour;
    std::unique_ptr<Engine> fEngine;
    unsigned short fPort = 0;

    mutable std::mutex fLock;
    mutable std::condition_variable fChanged;
    std::vector<std::string> fLog; // guarded by fLock
    std::size_t fOpened = 0;       // guarded by fLock

    std::thread fThread;
};

// A TCP peer that does exactly what a test scripts, byte by byte: for faults that a WebSocket
// library would never commit. Connections are served one at a time on the peer's thread.
class RawPeer {
public:
    using Script = std::function<void(RawPeer& peer, int fd)>;

    explicit RawPeer(Script script, unsigned short port = 0);
    ~RawPeer();

    unsigned short port() const { return fPort; }
    std::string url() const;
    std::size_t accepted() const { return fAccepted.load(); }
    bool stopping() const { return fStopping.load(); }

    // Reads the client's request up to the blank line and answers "101 Switching Protocols".
    // Returns the request line, or "" if the client went away.
    static std::string acceptHandshake(int fd);
    // The header of an unmasked, final server frame.
    static std::string frameHeader(bool text, std::uint64_t length);
    static void sendAll(int fd, const std::string& bytes);

private:
    void run();

    const Script fScript;
    int fListenFd = -1;
    unsigned short fPort = 0;
    std::atomic<std::size_t> fAccepted{0};
    std::atomic<bool> fStopping{false};
    std::thread fThread;
};

} // namespace servicetest
