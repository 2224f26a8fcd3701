#pragma once

#include <memory>

#include "Leap.h"

namespace Leap {

// The frame source named by a QUORVEL_TRACKING value: "service", "service:ws://HOST:PORT/PATH",
// "replay:PATH", "replay:PATH,loop", "camera", "camera:DEVICE", "video:PATH", "video:PATH,loop",
// "demo" or "none"; null or empty means "none" here (the
// environment's default, the service, is chosen by makeSourceFromEnvironment). Anything else is
// reported on standard error and gives "none". A new source gets its name here.
std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting);

} // namespace Leap
