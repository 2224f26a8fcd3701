#pragma once

#include <chrono>
#include <cstdint>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"

namespace Leap {

// A built-in performance for players without a device: one fingertip sweeping back and forth
// across the whole play area at one height, and for part of the time a second one at another
// height, both dipping in and out of the string plane (z < 0), forever.
class DemoSource : public FrameSource {
public:
    static constexpr std::int64_t kFrameMicros = 10000; // performance time between frames

    // framePeriod: wall-clock time between frames (tests may play faster than 100 per second).
    explicit DemoSource(
        std::chrono::microseconds framePeriod = std::chrono::microseconds(kFrameMicros));

    // Frame n of the performance, at n * kFrameMicros microseconds.
    static Frame frameAt(std::int64_t n);

    bool next(SourceEvent& event) override;
    void stop() override;

private:
    std::chrono::microseconds fFramePeriod;
    std::chrono::steady_clock::time_point fDeadline;
    std::int64_t fFrameNumber = 0;
    bool fConnected = false;
    StopSignal fStop;
};

} // namespace Leap
