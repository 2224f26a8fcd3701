#include "app/ConsoleWriter.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <string>

#include "src/ConsoleLine.h"

namespace {

// How long the writer waits for room on the console before it looks at the clock again.
constexpr int kPollMs = 50;

} // namespace

ConsoleWriter::ConsoleWriter(int fd) : fFd(fd), fQueue(kQueueBytes)
{
    fLine.reserve(kLineBytes);
    fThread = std::thread(&ConsoleWriter::Run, this);
}

ConsoleWriter::~ConsoleWriter()
{
    Stop(std::chrono::milliseconds(0));
}

std::streambuf::int_type ConsoleWriter::overflow(int_type character)
{
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    const char byte = traits_type::to_char_type(character);
    std::lock_guard<std::mutex> hold(fLock);
    Append(&byte, 1);
    return character;
}

std::streamsize ConsoleWriter::xsputn(const char* text, std::streamsize count)
{
    if (count <= 0)
        return 0;
    std::lock_guard<std::mutex> hold(fLock);
    Append(text, static_cast<std::size_t>(count));
    return count;
}

int ConsoleWriter::sync()
{
    std::lock_guard<std::mutex> hold(fLock);
    if (!fLine.empty())
        QueueLine();
    return 0;
}

void ConsoleWriter::Append(const char* text, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        fLine.push_back(text[k]); // within the reserved kLineBytes: never allocates
        if (text[k] == '\n' || fLine.size() == kLineBytes)
            QueueLine();
    }
}

void ConsoleWriter::QueueLine()
{
    const std::size_t size = fLine.size();
    if (fEnded || fCount + size > kQueueBytes) {
        ++fDropped;
    } else {
        const std::size_t tail = (fHead + fCount) % kQueueBytes;
        const std::size_t first = std::min(size, kQueueBytes - tail);
        std::copy_n(fLine.data(), first, fQueue.data() + tail);
        std::copy_n(fLine.data() + first, size - first, fQueue.data());
        fCount += size;
        fWake.notify_one();
    }
    fLine.clear();
}

void ConsoleWriter::Run()
{
    pthread_setname_np(pthread_self(), "quorvel-console");
    // A console whose reader has gone fails the write (EPIPE) instead of ending the program.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

    char chunk[kChunkBytes];
    for (;;) {
        std::size_t size = 0;
        {
            std::unique_lock<std::mutex> hold(fLock);
            fWake.wait(hold, [this] { return fCount > 0 || fStopping; });
            if (fCount == 0)
                break; // stopping, and everything is written
            size = std::min({fCount, kChunkBytes, kQueueBytes - fHead});
            std::copy_n(fQueue.data() + fHead, size, chunk);
            fHead = (fHead + size) % kQueueBytes;
            fCount -= size;
        }
        if (!WriteOut(chunk, size)) {
            std::lock_guard<std::mutex> hold(fLock);
            fDropped += static_cast<unsigned long>(std::count(chunk, chunk + size, '\n'));
            for (std::size_t k = 0; k < fCount; ++k)
                fDropped += fQueue[(fHead + k) % kQueueBytes] == '\n' ? 1 : 0;
            fCount = 0;
            break;
        }
    }
    std::lock_guard<std::mutex> hold(fLock);
    fEnded = true;
    fFinished.notify_all();
}

bool ConsoleWriter::WriteOut(const char* bytes, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        pollfd room{fFd, POLLOUT, 0};
        const int polled = ::poll(&room, 1, kPollMs);
        if (polled < 0 && errno != EINTR)
            return false;
        if (polled <= 0) {
            if (OutOfPatience())
                return false;
            continue;
        }
        if ((room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return false;
        const ssize_t written = ::write(fFd, bytes + done, count - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return false;
    }
    return true;
}

bool ConsoleWriter::OutOfPatience()
{
    std::lock_guard<std::mutex> hold(fLock);
    return fStopping && std::chrono::steady_clock::now() >= fDeadline;
}

void ConsoleWriter::Stop(std::chrono::milliseconds patience)
{
    bool ended = false;
    unsigned long dropped = 0;
    {
        std::unique_lock<std::mutex> hold(fLock);
        if (!fLine.empty())
            QueueLine();
        if (!fStopping) {
            fStopping = true;
            fDeadline = std::chrono::steady_clock::now() + patience;
            fWake.notify_one();
        }
        // A terminal with less room than one chunk can still block a write after poll said
        // there was room: past the patience and one more poll, the writer is left behind.
        fFinished.wait_until(hold, fDeadline + std::chrono::milliseconds(2 * kPollMs),
                             [this] { return fEnded; });
        ended = fEnded;
        fEnded = true;
        if (!fDropReported && fDropped > 0) {
            fDropReported = true;
            dropped = fDropped;
        }
    }
    if (fThread.joinable()) {
        if (ended)
            fThread.join();
        else
            fThread.detach();
    }
    if (dropped > 0)
        WriteLine(std::cerr, "standard output: ", dropped,
                  " lines were dropped because the console took no more");
}

unsigned long ConsoleWriter::Dropped() const
{
    std::lock_guard<std::mutex> hold(fLock);
    return fDropped;
}
