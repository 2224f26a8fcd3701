#pragma once

#include <condition_variable>
#include <mutex>

#include "Leap.h"

namespace Leap {

// No device: never produces an event, only waits to be stopped.
class IdleSource : public FrameSource {
public:
    bool next(SourceEvent& event) override;
    void stop() override;

private:
    std::mutex fLock;
    std::condition_variable fWake;
    bool fStopped = false;
};

} // namespace Leap
