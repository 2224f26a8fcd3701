#include "ManualSource.h"

#include <utility>

namespace Leap {

bool ManualSource::connect()
{
    SourceEvent event;
    event.kind = SourceEvent::kConnect;
    return post(std::move(event));
}

bool ManualSource::disconnect()
{
    SourceEvent event;
    event.kind = SourceEvent::kDisconnect;
    return post(std::move(event));
}

bool ManualSource::push(Frame frame)
{
    SourceEvent event;
    event.kind = SourceEvent::kFrame;
    event.frame = std::move(frame);
    return post(std::move(event));
}

bool ManualSource::post(SourceEvent event)
{
    std::unique_lock<std::mutex> guard(fLock);
    if (fStopped)
        return false;
    fQueue.push_back(std::move(event));
    const std::uint64_t ticket = ++fPosted;
    fWake.notify_all();
    fWake.wait(guard, [&] { return fHandled >= ticket || fStopped; });
    return fHandled >= ticket;
}

bool ManualSource::next(SourceEvent& event)
{
    std::unique_lock<std::mutex> guard(fLock);
    fWake.wait(guard, [this] { return fStopped || !fQueue.empty(); });
    if (fStopped)
        return false;
    event = std::move(fQueue.front());
    fQueue.pop_front();
    return true;
}

void ManualSource::stop()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fStopped = true;
    }
    fWake.notify_all();
}

void ManualSource::handled()
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        ++fHandled;
    }
    fWake.notify_all();
}

} // namespace Leap
