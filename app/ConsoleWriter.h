#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <streambuf>
#include <thread>
#include <vector>

// Standard output through a bounded queue and a thread of its own, so that no thread of the
// instrument ever waits for the console: not the window thread (drawing, keys, quitting), not the
// tracking thread (the lines of a pluck), whether the console is a terminal paused with Ctrl-S or
// a pipe nobody reads. A line that finds the queue full is dropped whole and counted. Installed
// as std::cout's buffer, which is how every status line of the program is written.
//
// Threads: any thread writes (each write holds a short lock of the writer's own, never anything
// else); the writer thread waits for the descriptor with poll and writes at most PIPE_BUF bytes
// at a time, so that a write to a pipe never blocks.
//
// Not a Worker (src/Worker.h): what it queues is bytes, not items of one size, gathered into
// lines and dropped a whole line at a time, and its stop gives up after a patience, since a
// console may never take what waits.
class ConsoleWriter : public std::streambuf {
public:
    static constexpr std::size_t kQueueBytes = 64 * 1024; // waiting for the console
    static constexpr std::size_t kLineBytes = 1024;       // a longer line goes out in pieces
    static constexpr std::size_t kChunkBytes = 4096;      // one write, PIPE_BUF on Linux

    // Writes to descriptor `fd` (not owned, left open).
    explicit ConsoleWriter(int fd);
    // Stop with no patience. A writer left behind by Stop still uses the object: the program's
    // own writer is never destroyed.
    ~ConsoleWriter() override;

    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    // Writes out what is queued, waiting at most `patience` for a console that takes nothing,
    // then stops the writer thread; later writes are dropped. Says on standard error how many
    // lines were dropped, if any. Safe to call again.
    void Stop(std::chrono::milliseconds patience);

    // Lines dropped so far: the queue was full, the console was gone, or the writer had stopped.
    unsigned long Dropped() const;

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    // Both with fLock held.
    void Append(const char* text, std::size_t count);
    void QueueLine();

    void Run();
    // Writes `count` bytes; false once the console is gone or stopping has run out of patience.
    bool WriteOut(const char* bytes, std::size_t count);
    bool OutOfPatience();

    const int fFd;

    mutable std::mutex fLock;
    std::condition_variable fWake;     // the writer: bytes queued, or stopping
    std::condition_variable fFinished; // Stop: the writer has ended
    std::vector<char> fLine;           // the line being written, up to kLineBytes
    std::vector<char> fQueue;          // ring of kQueueBytes
    std::size_t fHead = 0;             // first queued byte
    std::size_t fCount = 0;            // bytes queued
    unsigned long fDropped = 0;
    bool fStopping = false;
    bool fEnded = false; // the writer thread has returned, or is left behind
    bool fDropReported = false;
    std::chrono::steady_clock::time_point fDeadline;

    std::thread fThread; // last: started once everything above exists
};
