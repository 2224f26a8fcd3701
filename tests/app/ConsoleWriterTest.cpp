// Standard output through the console writer, on a pipe read late, left, or never read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

#include "app/ConsoleWriter.h"
#include "src/ConsoleLine.h"

namespace {

// Every line written was received whole, in order, or counted as dropped, and the count said at
// quit is that count.
void ExpectEveryLineAccountedFor(int written, const std::string& received, unsigned long dropped,
                                 const std::string& report)
{
    int count = 0;
    int last = -1;
    for (std::size_t start = 0, end; (end = received.find('\n', start)) != std::string::npos;
         start = end + 1, ++count) {
        const std::string line = received.substr(start, end - start);
        int number = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "line %d", &number), 1) << line;
        ASSERT_EQ(line, "line " + std::to_string(number) + " of the test");
        ASSERT_GT(number, last) << "out of order";
        last = number;
    }
    EXPECT_EQ(count + static_cast<int>(dropped), written);
    EXPECT_EQ(report, "standard output: " + std::to_string(dropped) +
                          " lines were dropped because the console took no more\n");
}

// A reader that comes only once every line is written (the queue overflows meanwhile), one that
// has gone before the first line, and one that never comes, so that stopping runs out of
// patience with lines queued.
TEST(ConsoleWriter, AWriterNeverWaitsAndEveryLineIsReceivedWholeOrCountedAsDropped)
{
    enum class Reader { kLate, kGone, kNever };
    for (const Reader reader : {Reader::kLate, Reader::kGone, Reader::kNever}) {
        SCOPED_TRACE(reader == Reader::kLate ? "late" : reader == Reader::kGone ? "gone" : "never");
        // About 500 KB, far beyond the pipe and the queue; or 20 KB, within the queue.
        const int written = reader == Reader::kLate ? 20000 : 1000;
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        fcntl(fds[1], F_SETPIPE_SZ, 4096);
        if (reader == Reader::kGone)
            close(fds[0]);
        ConsoleWriter console(fds[1]);
        std::ostream out(&console);
        std::atomic<bool> done{false};
        std::thread writer([&] {
            std::string lines;
            for (int line = 0; line < written; ++line)
                lines += "line " + std::to_string(line) + " of the test\n";
            // Line by line, or in one write that queues every line before the writer takes any.
            for (std::size_t start = 0, end; start < lines.size(); start = end + 1) {
                end = reader == Reader::kLate ? lines.find('\n', start) : lines.size() - 1;
                out.write(&lines[start], static_cast<std::streamsize>(end + 1 - start)).flush();
            }
            done = true;
        });
        // Generous: the writer only formats lines; a write that waits for the reader never ends.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(done) << "a writer waited for the console";

        std::string received;
        const auto drain = [&] {
            char chunk[4096];
            for (ssize_t got; (got = read(fds[0], chunk, sizeof chunk)) > 0;)
                received.append(chunk, static_cast<std::size_t>(got));
            close(fds[0]);
        };
        std::thread lateReader; // also frees a writer that waited, so that the test ends
        if (reader == Reader::kLate || (reader == Reader::kNever && !done))
            lateReader = std::thread(drain);
        writer.join();
        testing::internal::CaptureStderr();
        console.Stop(reader == Reader::kNever ? std::chrono::milliseconds(100)
                                              : std::chrono::seconds(30));
        const std::string report = testing::internal::GetCapturedStderr();
        const unsigned long dropped = console.Dropped();
        WriteLine(out, "after the end");
        EXPECT_EQ(console.Dropped(), dropped + 1);
        close(fds[1]);
        if (lateReader.joinable())
            lateReader.join();
        else if (reader == Reader::kNever)
            drain();
        EXPECT_GT(dropped, 0u);
        EXPECT_EQ(received.empty(), reader == Reader::kGone);
        ExpectEveryLineAccountedFor(written, received, dropped, report);
    }
}

} // namespace
