#include "tracking/FrameQueue.h"

#include <utility>

namespace Leap {

FrameQueue::FrameQueue(std::size_t maxFrames) : fMaxFrames(maxFrames > 0 ? maxFrames : 1) {}

void FrameQueue::push(SourceEvent event)
{
    {
        auto lock = fStop.lock();
        if (fStop.stopped(lock))
            return;
        if (event.kind == SourceEvent::kFrame) {
            if (fFrames == fMaxFrames)
                dropOldestFrame();
            ++fFrames;
        }
        fEvents.push_back(std::move(event));
    }
    fStop.wake();
}

bool FrameQueue::pop(SourceEvent& event)
{
    auto lock = fStop.lock();
    if (!fStop.waitFor(lock, [this] { return !fEvents.empty(); }))
        return false;
    event = std::move(fEvents.front());
    fEvents.pop_front();
    if (event.kind == SourceEvent::kFrame)
        --fFrames;
    return true;
}

void FrameQueue::stop()
{
    fStop.stop();
    auto lock = fStop.lock();
    fEvents.clear();
    fFrames = 0;
}

void FrameQueue::dropOldestFrame()
{
    for (auto it = fEvents.begin(); it != fEvents.end(); ++it) {
        if (it->kind == SourceEvent::kFrame) {
            fEvents.erase(it);
            --fFrames;
            return;
        }
    }
}

} // namespace Leap
