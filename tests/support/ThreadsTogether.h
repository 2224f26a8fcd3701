#pragma once

// The instrument's threads in one test (audio passes, the window's changes, tracking's plucks):
// each step runs over and over on a thread of its own until it returns false or the test stops
// them all, so a test says only what each thread does. An exception out of a step ends its thread
// and is counted, never lost to std::terminate.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace testsupport {

class ThreadsTogether {
public:
    ThreadsTogether() = default;
    ThreadsTogether(const ThreadsTogether&) = delete;
    ThreadsTogether& operator=(const ThreadsTogether&) = delete;
    ~ThreadsTogether() { Stop(); }

    // Starts `step` on its own thread; the count is how many times it has run.
    const std::atomic<long>& Loop(std::function<bool()> step)
    {
        auto loop = std::make_unique<Running>();
        Running* self = loop.get();
        loop->thread = std::thread([this, self, step = std::move(step)] {
            try {
                while (!fStop.load() && step()) {
                    ++self->count;
                }
            } catch (...) {
                ++fEscaped;
            }
        });
        fLoops.push_back(std::move(loop));
        return self->count;
    }

    // Waits for every step to return false; returns how many exceptions escaped.
    int Wait()
    {
        for (const std::unique_ptr<Running>& loop : fLoops) {
            if (loop->thread.joinable()) {
                loop->thread.join();
            }
        }
        return fEscaped.load();
    }

    // Ends every loop after its current step, then as Wait().
    int Stop()
    {
        fStop = true;
        return Wait();
    }

private:
    struct Running {
        std::thread thread;
        std::atomic<long> count{0};
    };
    std::atomic<bool> fStop{false};
    std::atomic<int> fEscaped{0};
    std::vector<std::unique_ptr<Running>> fLoops;
};

} // namespace testsupport
