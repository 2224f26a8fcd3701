#pragma once

#include <pthread.h>

#include <system_error>

// A POSIX mutex with priority inheritance, for locks the real-time audio thread shares with
// ordinary threads (the server lock, a display tap's lock). While the audio thread waits for it,
// the holder runs at the audio thread's priority, so a holder that the scheduler would otherwise
// put aside behind other work (a busy, oversubscribed machine) finishes its short section at
// once instead of milliseconds later. Not recursive; usable with std::lock_guard.
//
// Built with QUORVEL_PLAIN_LOCKS it is an ordinary mutex, for the deadline benchmark's
// comparison.
class RealtimeMutex {
public:
    RealtimeMutex()
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
#ifndef QUORVEL_PLAIN_LOCKS
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
#endif
        const int failed = pthread_mutex_init(&fMutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        if (failed != 0)
            throw std::system_error(failed, std::generic_category(), "pthread_mutex_init");
    }
    ~RealtimeMutex()
    {
        pthread_mutex_destroy(&fMutex);
    }
    RealtimeMutex(const RealtimeMutex&) = delete;
    RealtimeMutex& operator=(const RealtimeMutex&) = delete;

    void lock()
    {
        pthread_mutex_lock(&fMutex);
    }
    void unlock()
    {
        pthread_mutex_unlock(&fMutex);
    }

private:
    pthread_mutex_t fMutex;
};
