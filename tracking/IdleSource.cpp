#include "tracking/IdleSource.h"

namespace Leap {

bool IdleSource::next(SourceEvent&)
{
    fStop.waitForStop();
    return false;
}

void IdleSource::stop()
{
    fStop.stop();
}

} // namespace Leap
