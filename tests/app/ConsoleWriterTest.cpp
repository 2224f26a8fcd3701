// Standard output through the console writer, on a pipe that nobody reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>

#include "ConsoleLine.h"
#include "ConsoleWriter.h"

namespace {

constexpr int kLines = 20000; // about 500 KB: far beyond the pipe and the queue

TEST(ConsoleWriter, AWriterNeverWaitsForAnUnreadPipeAndOnlyWholeLinesAreLost)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    auto console = std::make_unique<ConsoleWriter>(fds[1]);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::ostream out(console.get());
        for (int line = 0; line < kLines; ++line)
            WriteLine(out, "line ", line, " of the test");
        done = true;
    });
    // Generous: the writer only formats lines; a write that waits for the reader never ends.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool finishedUnread = done;

    std::string received;
    std::thread reader([&] {
        char chunk[4096];
        ssize_t got;
        while ((got = read(fds[0], chunk, sizeof chunk)) > 0)
            received.append(chunk, static_cast<std::size_t>(got));
    });
    writer.join();
    EXPECT_TRUE(finishedUnread) << "a writer waited for the console";

    testing::internal::CaptureStderr();
    console->Stop(std::chrono::seconds(30));
    const std::string report = testing::internal::GetCapturedStderr();
    const unsigned long dropped = console->Dropped();
    std::ostream late(console.get());
    WriteLine(late, "after the end");
    EXPECT_EQ(console->Dropped(), dropped + 1);
    close(fds[1]);
    reader.join();
    close(fds[0]);

    std::istringstream lines(received);
    std::string line;
    int count = 0;
    int last = -1;
    while (std::getline(lines, line)) {
        int number = -1;
        char tail[16] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "line %d of the %15s", &number, tail), 2) << line;
        ASSERT_STREQ(tail, "test") << line;
        ASSERT_GT(number, last) << "out of order";
        last = number;
        ++count;
    }
    EXPECT_EQ(received.back(), '\n');
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(count + static_cast<int>(dropped), kLines);
    EXPECT_EQ(report, "standard output: " + std::to_string(dropped) +
                          " lines were dropped because the console took no more\n");
}

} // namespace
