#pragma once

// The instrument's threads in one test: each step runs over and over on a thread of its own until
// it returns false or Stop(). An exception out of a step ends its thread and is counted.

#include <atomic>
#include <functional>
#include <list>
#include <thread>

namespace testsupport {

class ThreadsTogether {
public:
    ~ThreadsTogether() { Stop(); }

    // Starts `step`; the count is how many times it has run.
    const std::atomic<long>& Loop(std::function<bool()> step)
    {
        std::atomic<long>& count = fCounts.emplace_back(0);
        fThreads.emplace_back([this, &count, step = std::move(step)] {
            try {
                while (!fStop && step())
                    ++count;
            } catch (...) {
                ++fEscaped;
            }
        });
        return count;
    }

    // Waits for every step to return false (Stop: asks them to end first); returns how many
    // exceptions escaped.
    int Wait()
    {
        for (std::thread& thread : fThreads)
            if (thread.joinable())
                thread.join();
        return fEscaped;
    }
    int Stop()
    {
        fStop = true;
        return Wait();
    }

private:
    std::atomic<bool> fStop{false};
    std::atomic<int> fEscaped{0};
    std::list<std::atomic<long>> fCounts; // a list: counts never move
    std::list<std::thread> fThreads;
};

} // namespace testsupport
