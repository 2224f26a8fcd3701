#include "support/ManualSource.h"

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
    auto lock = fStop.lock();
    if (fStop.stopped(lock))
        return false;
    fQueue.push_back(std::move(event));
    const std::uint64_t ticket = ++fPosted;
    fStop.wake();
    fStop.waitFor(lock, [&] { return fHandled >= ticket; });
    return fHandled >= ticket;
}

bool ManualSource::next(SourceEvent& event)
{
    auto lock = fStop.lock();
    if (!fStop.waitFor(lock, [this] { return !fQueue.empty(); }))
        return false;
    event = std::move(fQueue.front());
    fQueue.pop_front();
    return true;
}

void ManualSource::stop()
{
    fStop.stop();
}

void ManualSource::handled()
{
    {
        auto lock = fStop.lock();
        ++fHandled;
    }
    fStop.wake();
}

} // namespace Leap
