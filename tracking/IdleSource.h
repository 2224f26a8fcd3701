#pragma once

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"

namespace Leap {

// No device: never produces an event, only waits to be stopped.
class IdleSource : public FrameSource {
public:
    bool next(SourceEvent& event) override;
    void stop() override;

private:
    StopSignal fStop;
};

} // namespace Leap
