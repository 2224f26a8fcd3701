#pragma once

#include <memory>

#include "Leap.h"

namespace Leap {

// The frame source named by a QUORVEL_TRACKING value: "service", "service:ws://HOST:PORT/PATH",
// "replay:PATH", "replay:PATH,loop", "camera", "camera:DEVICE",
// "video:PATH", "video:PATH,loop", "demo" or "none"; null or empty means "none" here (the
// environment's default, the service, is chosen by makeSourceFromEnvironment). A value that names
// no source, or names one that cannot be built from it, is reported on standard error with the
// reason and gives "none".
std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting);

// The source chosen by QUORVEL_TRACKING (the service when unset), recorded to the file named by
// QUORVEL_TRACKING_RECORD if that is set.
std::unique_ptr<FrameSource> makeSourceFromEnvironment();

} // namespace Leap
