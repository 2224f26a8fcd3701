#pragma once

#include <cstdint>
#include <deque>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"

namespace Leap {

// A source driven by hand, for tests: each call hands one event to the controller and returns
// once the listener has returned from it, so a test sees every effect of the event on return.
// Call from any thread but the controller's own.
class ManualSource : public FrameSource {
public:
    // Each returns false if the controller stopped before the listener had the event.
    bool connect();
    bool disconnect();
    bool push(Frame frame);

    bool next(SourceEvent& event) override;
    void stop() override;
    void handled() override;

private:
    bool post(SourceEvent event);

    StopSignal fStop; // its lock also guards the three below
    std::deque<SourceEvent> fQueue;
    std::uint64_t fPosted = 0;  // events queued so far
    std::uint64_t fHandled = 0; // events the listener has returned from
};

} // namespace Leap
