#include "IdleSource.h"

namespace Leap {

bool IdleSource::next(SourceEvent&)
{
    std::unique_lock<std::mutex> guard(fLock);
    fWake.wait(guard, [this] { return fStopped; });
    return false;
}

void IdleSource::stop()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStopped = true;
    }
    fWake.notify_all();
}

} // namespace Leap
