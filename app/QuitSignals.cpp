#include "app/QuitSignals.h"

#include <pthread.h>
#include <signal.h>

#include <initializer_list>
#include <thread>

#include "app/Shutdown.h"

namespace GLStuff {
namespace {

// The quit signals this process takes; written once, before the signal thread starts.
sigset_t sQuitSignals;

void WaitForQuitSignal(sigset_t signals)
{
    pthread_setname_np(pthread_self(), "quorvel-signals");
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0)
            QuitBySignal(signal);
    }
}

} // namespace

void WatchQuitSignals()
{
    sigemptyset(&sQuitSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&sQuitSignals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &sQuitSignals, nullptr);
    // Never joined: it waits in sigwait and uses nothing that is ever destroyed.
    std::thread(WaitForQuitSignal, sQuitSignals).detach();
}

void LetQuitSignalsEndTheProcess()
{
    // A library may have set a handler of its own since start-up (one does with a JACK server).
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&sQuitSignals, signal) == 1)
            sigaction(signal, &byDefault, nullptr);
    }
    pthread_sigmask(SIG_UNBLOCK, &sQuitSignals, nullptr);
}

} // namespace GLStuff
