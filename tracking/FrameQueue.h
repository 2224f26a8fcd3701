#pragma once

#include <cstddef>
#include <deque>

#include "tracking/Leap.h"
#include "tracking/StopSignal.h"

namespace Leap {

// Source events on their way from a producing thread to the controller's thread. Holds at most
// maxFrames frames: a new frame pushes out the oldest waiting one, so a listener that falls
// behind hears the newest hand positions, never late ones. Connects and disconnects are never
// dropped; a producer emits them only on changes, so they cannot pile up.
//
// Not the outputs' Worker (src/Worker.h): it has no thread of its own (the controller's thread
// takes from it), and it drops the oldest frame, not the newest, since a late hand is worth less
// than the one now.
class FrameQueue {
public:
    // maxFrames: frames waiting at most; 0 counts as 1.
    explicit FrameQueue(std::size_t maxFrames);

    // Any thread; ignored once stopped.
    void push(SourceEvent event);
    // Waits for the next event, oldest first; false once stopped.
    bool pop(SourceEvent& event);
    // Ends every wait and drops what waits. Any thread, more than once.
    void stop();

private:
    void dropOldestFrame();

    const std::size_t fMaxFrames;
    StopSignal fStop; // its lock also guards the two below
    std::deque<SourceEvent> fEvents;
    std::size_t fFrames = 0; // frames in fEvents
};

} // namespace Leap
