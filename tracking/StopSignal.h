#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Leap {

// The wait-until-stopped part every frame source shares: a flag that stop() sets once, from any
// thread, and that ends every wait on it. A source with state of its own (a queue, a counter)
// may keep that state under the same lock, so that one wait covers both.
class StopSignal {
public:
    using Lock = std::unique_lock<std::mutex>;

    // Sets the flag and wakes every wait. Any thread, more than once.
    void stop();
    bool stopped() const;
    // Returns once stop() has been called.
    void waitForStop();
    // Waits until the deadline; false if stopped first.
    bool sleepUntil(std::chrono::steady_clock::time_point deadline);

    // For the source's own state under this lock.
    Lock lock() const { return Lock(fLock); }
    bool stopped(const Lock&) const { return fStopped; }
    // With the lock held: waits until stopped or ready(); false if stopped.
    template <typename Ready> bool waitFor(Lock& lock, Ready ready)
    {
        fWake.wait(lock, [&] { return fStopped || ready(); });
        return !fStopped;
    }
    // Wakes every wait after the source's own state changed.
    void wake() { fWake.notify_all(); }

private:
    mutable std::mutex fLock;
    std::condition_variable fWake;
    bool fStopped = false; // guarded by fLock
};

} // namespace Leap
