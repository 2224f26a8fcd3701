#include "tracking/PointerSource.h"

#include <mutex>
#include <vector>

#include "tracking/PlayingArea.h"

namespace Leap {

namespace {

// Where the window last saw the pointer; written on the window thread, read on the controller's.
std::mutex sPointerLock;
bool sPresent = false;
Vector sTip;

} // namespace

void PointerSource::move(double x, double y, bool pressed)
{
    std::lock_guard<std::mutex> hold(sPointerLock);
    sPresent = true;
    sTip = Vector{PlayingArea::kLeftMm + x * PlayingArea::kWidthMm,
                  PlayingArea::kBottomMm + y * PlayingArea::kHeightMm,
                  pressed ? kPressedMm : kHoveringMm};
}

void PointerSource::leave()
{
    std::lock_guard<std::mutex> hold(sPointerLock);
    sPresent = false;
}

Frame PointerSource::current(std::int64_t id, std::int64_t timestampMicros)
{
    std::vector<Hand> hands;
    {
        std::lock_guard<std::mutex> hold(sPointerLock);
        if (sPresent)
            hands.emplace_back(kFingerId, std::vector<Finger>{Finger(kFingerId, sTip)});
    }
    return Frame(id, timestampMicros, std::move(hands));
}

bool PointerSource::next(SourceEvent& event)
{
    if (fStop.stopped())
        return false;
    if (!fConnected) {
        fConnected = true;
        fStart = fDeadline = std::chrono::steady_clock::now();
        event.kind = SourceEvent::kConnect;
        return true;
    }
    fDeadline += std::chrono::microseconds(kFrameMicros);
    const auto now = std::chrono::steady_clock::now();
    if (fDeadline < now - std::chrono::milliseconds(100))
        fDeadline = now;
    if (!fStop.sleepUntil(fDeadline))
        return false;
    event.kind = SourceEvent::kFrame;
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(fDeadline - fStart).count();
    event.frame = current(fFrameNumber++, micros);
    return true;
}

void PointerSource::stop()
{
    fStop.stop();
}

} // namespace Leap
