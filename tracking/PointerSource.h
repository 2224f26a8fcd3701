#pragma once

#include <chrono>
#include <cstdint>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"

namespace Leap {

// The mouse (or a pen) as one fingertip, for players with no controller or camera: the window
// hands over where the pointer is and whether its button is held, and holding it is reaching past
// the string plane. A frame every kFrameMicros while the source runs; with no pointer over the
// window, frames with no hands.
class PointerSource : public FrameSource {
public:
    static constexpr std::int64_t kFrameMicros = 10000;
    static constexpr int kFingerId = 1;
    static constexpr double kPressedMm = -10.0; // z past the string plane
    static constexpr double kHoveringMm = 100.0;

    // The window thread: x, y in normalised window units (x 0 at the left edge, y 0 at the
    // bottom); pressed: the button is held. Anywhere in the process, whether or not this source
    // plays.
    static void move(double x, double y, bool pressed);
    // The pointer left the window.
    static void leave();
    // The fingertip of the pointer's last position, if it is over the window; for tests too.
    static Frame current(std::int64_t id, std::int64_t timestampMicros);

    bool next(SourceEvent& event) override;
    void stop() override;

private:
    std::chrono::steady_clock::time_point fStart;
    std::chrono::steady_clock::time_point fDeadline;
    std::int64_t fFrameNumber = 0;
    bool fConnected = false;
    StopSignal fStop;
};

} // namespace Leap
