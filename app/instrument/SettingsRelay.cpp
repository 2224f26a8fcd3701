#include "app/instrument/SettingsRelay.h"

#include <condition_variable>
#include <cstdint>
#include <iostream>
#include <mutex>

namespace {

struct Relay {
    std::mutex lock;
    std::condition_variable applied;
    PerformanceSettings waiting;    // guarded by lock
    std::uint64_t handedOver = 0;   // settings handed over so far; guarded by lock
    std::uint64_t appliedSoFar = 0; // of those, applied; guarded by lock
    bool open = false;              // guarded by lock
    bool closed = false;            // guarded by lock
};

Relay& relay()
{
    // Never destroyed: the exit path closes it whenever it was first used.
    static Relay* sRelay = new Relay();
    return *sRelay;
}

} // namespace

void SettingsRelay::Open()
{
    Relay& r = relay();
    std::lock_guard<std::mutex> hold(r.lock);
    r.open = true;
}

void SettingsRelay::HandOver(const PerformanceSettings& settings)
{
    Relay& r = relay();
    std::unique_lock<std::mutex> hold(r.lock);
    if (!r.open) {
        hold.unlock();
        settings.Apply(std::cerr);
        return;
    }
    if (r.closed)
        return;
    r.waiting = settings;
    const std::uint64_t ticket = ++r.handedOver;
    r.applied.wait(hold, [&] { return r.closed || r.appliedSoFar >= ticket; });
}

void SettingsRelay::ApplyWaiting()
{
    Relay& r = relay();
    PerformanceSettings settings;
    std::uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (r.appliedSoFar == r.handedOver)
            return;
        settings = r.waiting;
        ticket = r.handedOver;
    }
    // Not under the relay's lock: applying takes the harp's and the server's locks.
    settings.Apply(std::cerr);
    {
        std::lock_guard<std::mutex> hold(r.lock);
        r.appliedSoFar = ticket;
    }
    r.applied.notify_all();
}

void SettingsRelay::Close()
{
    Relay& r = relay();
    {
        std::lock_guard<std::mutex> hold(r.lock);
        r.closed = true;
    }
    r.applied.notify_all();
}
