#include "tracking/StopSignal.h"

namespace Leap {

void StopSignal::stop()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStopped = true;
    }
    fWake.notify_all();
}

bool StopSignal::stopped() const
{
    std::lock_guard<std::mutex> guard(fLock);
    return fStopped;
}

void StopSignal::waitForStop()
{
    Lock guard(fLock);
    fWake.wait(guard, [this] { return fStopped; });
}

bool StopSignal::sleepUntil(std::chrono::steady_clock::time_point deadline)
{
    Lock guard(fLock);
    return !fWake.wait_until(guard, deadline, [this] { return fStopped; });
}

} // namespace Leap
