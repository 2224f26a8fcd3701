#include "tracking/DemoSource.h"

#include <cmath>
#include <vector>

#include "tracking/PlayingArea.h"

namespace Leap {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double wave(double seconds, double periodSeconds, double phase = 0.0)
{
    return std::sin(kTwoPi * seconds / periodSeconds + phase);
}

} // namespace

DemoSource::DemoSource(std::chrono::microseconds framePeriod) : fFramePeriod(framePeriod) {}

Frame DemoSource::frameAt(std::int64_t n)
{
    const double t = static_cast<double>(n) * kFrameMicros * 1e-6;
    std::vector<Hand> hands;

    // x spans a little beyond the playing area so the outer strings are crossed too; the heights
    // sit at 0.7 and 0.2 of the window (290 and 190 mm).
    constexpr double kHighMm = PlayingArea::kBottomMm + 0.7 * PlayingArea::kHeightMm;
    constexpr double kLowMm = PlayingArea::kBottomMm + 0.2 * PlayingArea::kHeightMm;
    const Vector high{(PlayingArea::kRightMm + 30.0) * wave(t, 4.0), kHighMm,
                      -15.0 + 30.0 * wave(t, 3.1)};
    hands.emplace_back(1, std::vector<Finger>{Finger(11, high)});

    if (wave(t, 9.0) > -0.3) {
        const Vector low{(PlayingArea::kRightMm + 15.0) * wave(t, 2.6, 1.0), kLowMm,
                         -20.0 + 30.0 * wave(t, 2.3)};
        hands.emplace_back(2, std::vector<Finger>{Finger(21, low)});
    }
    return Frame(n, n * kFrameMicros, std::move(hands));
}

bool DemoSource::next(SourceEvent& event)
{
    if (fStop.stopped())
        return false;
    if (!fConnected) {
        fConnected = true;
        fDeadline = std::chrono::steady_clock::now();
        event.kind = SourceEvent::kConnect;
        return true;
    }
    fDeadline += fFramePeriod;
    // After a long stall (a slow listener, a paused process) go on from now instead of racing.
    const auto now = std::chrono::steady_clock::now();
    if (fDeadline < now - std::chrono::milliseconds(100))
        fDeadline = now;
    if (!fStop.sleepUntil(fDeadline))
        return false;
    event.kind = SourceEvent::kFrame;
    event.frame = frameAt(fFrameNumber++);
    return true;
}

void DemoSource::stop()
{
    fStop.stop();
}

} // namespace Leap
