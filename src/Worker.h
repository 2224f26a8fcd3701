#pragma once

#include <pthread.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// A bounded queue and the thread that empties it, for work that must never hold up the thread
// that asks for it (the tracking, the window, the audio): Push copies the item into a ring of
// `Capacity` under a short lock of the worker's own, never allocates and never waits for the
// thread; an item that finds the ring full is dropped and counted. The thread hands what waits
// to `take`, oldest first, in one batch a wake. Stop hands over whatever was pushed before it,
// once more with `last` set, and joins the thread, so a worker is stopped before what `take`
// uses goes.
template <typename Item, std::size_t Capacity> class Worker {
public:
    using Clock = std::chrono::steady_clock;
    // Worker thread: the items taken (perhaps none, when the time `wakeAt` gave has come);
    // `last` on the final call, after Stop.
    using Take = std::function<void(const Item* items, std::size_t count, bool last)>;
    // Worker thread, under the worker's lock: the next time to call `take` without an item;
    // false for none.
    using WakeAt = std::function<bool(Clock::time_point& when)>;

    Worker() = default;
    ~Worker() { Stop(); }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the thread (named `name` for the debugger and top, 15 characters at most); the drop
    // count starts again at 0. Does nothing while it runs.
    void Start(const char* name, Take take, WakeAt wakeAt = nullptr)
    {
        std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
        if (fThread.joinable())
            return;
        fTake = std::move(take);
        fWakeAt = std::move(wakeAt);
        {
            std::lock_guard<std::mutex> hold(fLock);
            fHead = fCount = 0;
            fDropped = 0;
            fStopping = false;
            fAccepting = true;
        }
        fThread = std::thread([this, name] { Run(name); });
    }

    // Any thread. False when the item was dropped: the ring was full (counted), or the worker
    // is not running.
    bool Push(const Item& item)
    {
        {
            std::lock_guard<std::mutex> hold(fLock);
            if (!fAccepting)
                return false;
            if (fCount == Capacity) {
                ++fDropped;
                return false;
            }
            fRing[(fHead + fCount) % Capacity] = item;
            ++fCount;
        }
        fWake.notify_one();
        return true;
    }

    // Takes no more items, hands over those waiting and joins the thread. Safe to call more than
    // once, and without Start; never from the worker thread.
    void Stop()
    {
        std::lock_guard<std::mutex> lifecycle(fLifecycleLock);
        if (!fThread.joinable())
            return;
        {
            std::lock_guard<std::mutex> hold(fLock);
            fAccepting = false;
            fStopping = true;
        }
        fWake.notify_one();
        fThread.join();
    }

    // Between Start and Stop.
    bool Running() const
    {
        std::lock_guard<std::mutex> hold(fLock);
        return fAccepting;
    }

    // Items dropped because the ring was full, since Start.
    long Dropped() const
    {
        std::lock_guard<std::mutex> hold(fLock);
        return fDropped;
    }

private:
    void Run(const char* name)
    {
        if (name)
            pthread_setname_np(pthread_self(), name);
        for (;;) {
            std::size_t taken = 0;
            bool last = false;
            {
                std::unique_lock<std::mutex> hold(fLock);
                const auto ready = [this] { return fCount > 0 || fStopping; };
                Clock::time_point when;
                if (fWakeAt && fWakeAt(when))
                    fWake.wait_until(hold, when, ready);
                else
                    fWake.wait(hold, ready);
                for (; taken < fCount; ++taken)
                    fBatch[taken] = fRing[(fHead + taken) % Capacity];
                fHead = (fHead + fCount) % Capacity;
                fCount = 0;
                last = fStopping;
            }
            fTake(fBatch.data(), taken, last);
            if (last)
                return;
        }
    }

    std::mutex fLifecycleLock; // Start and Stop, one at a time
    Take fTake;                // worker thread's while it runs
    WakeAt fWakeAt;

    mutable std::mutex fLock; // guards the ring and the flags below
    std::condition_variable fWake;
    std::array<Item, Capacity> fRing{};
    std::size_t fHead = 0;
    std::size_t fCount = 0;
    long fDropped = 0;
    bool fAccepting = false; // between Start and Stop
    bool fStopping = false;

    std::array<Item, Capacity> fBatch{}; // worker thread only
    std::thread fThread;
};
