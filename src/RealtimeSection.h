#pragma once

// The real-time section of the audio thread (one server pass) and the only two locks it may
// take: the server lock and a display tap's own lock. In a build with QUORVEL_RTSAN the realtime
// sanitizer's runtime is linked in and reports any other lock, any allocation, free, file or
// console I/O or sleep made inside a section, then ends the process; elsewhere these are empty.
//
// With QUORVEL_LOCK_PROBE (benchmark builds only) every allowed lock also records how long the
// thread waited for it, so a harness can see the audio thread's lock waits without clocks in the
// normal build's pass.

#ifdef QUORVEL_LOCK_PROBE
#include <chrono>
#endif

#ifdef QUORVEL_RTSAN
// The clang 19 runtime's entry points (libclang_rt.rtsan); its "off"/"on" pair suspends the
// checks on the calling thread.
extern "C" {
void __rtsan_init();
void __rtsan_realtime_enter();
void __rtsan_realtime_exit();
void __rtsan_off();
void __rtsan_on();
}
#endif

namespace realtime {

// Once per process, before the first section.
inline void InitChecks()
{
#ifdef QUORVEL_RTSAN
    __rtsan_init();
#endif
}

// Marks the calling thread real-time while it lives.
class Section {
public:
#ifdef QUORVEL_RTSAN
    Section()
    {
        __rtsan_realtime_enter();
    }
    ~Section()
    {
        __rtsan_realtime_exit();
    }
#else
    Section() {}
#endif
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;
};

// The two locks a section may take.
enum class AllowedLock { kServer, kTap };

#ifdef QUORVEL_LOCK_PROBE
// Longest wait of the calling thread for each allowed lock, in ns, since its owner last cleared it.
struct LockWaits {
    long long server = 0;
    long long tap = 0;
};
inline LockWaits& ThreadLockWaits()
{
    thread_local LockWaits waits;
    return waits;
}
#endif

// A lock_guard for the server lock or a tap's lock inside a section: the sanitizer does not
// count taking or releasing it.
template <typename Mutex> class AllowedLockGuard {
public:
    AllowedLockGuard(Mutex& mutex, AllowedLock which) : fMutex(mutex)
    {
#ifdef QUORVEL_LOCK_PROBE
        const auto tried = std::chrono::steady_clock::now();
        Lock();
        const long long waited = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now() - tried)
                                     .count();
        long long& longest =
            which == AllowedLock::kServer ? ThreadLockWaits().server : ThreadLockWaits().tap;
        if (waited > longest)
            longest = waited;
#else
        (void)which;
        Lock();
#endif
    }
    ~AllowedLockGuard()
    {
#ifdef QUORVEL_RTSAN
        __rtsan_off();
        fMutex.unlock();
        __rtsan_on();
#else
        fMutex.unlock();
#endif
    }
    AllowedLockGuard(const AllowedLockGuard&) = delete;
    AllowedLockGuard& operator=(const AllowedLockGuard&) = delete;

private:
    void Lock()
    {
#ifdef QUORVEL_RTSAN
        __rtsan_off();
        fMutex.lock();
        __rtsan_on();
#else
        fMutex.lock();
#endif
    }
    Mutex& fMutex;
};

} // namespace realtime
