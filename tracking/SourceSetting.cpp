#include "SourceSetting.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "CameraSource.h"
#include "DemoSource.h"
#include "IdleSource.h"
#include "RecordingSource.h"
#include "ReplaySource.h"
#include "ServiceSource.h"

namespace Leap {

namespace {

const char kVariable[] = "QUORVEL_TRACKING";
const char kRecordVariable[] = "QUORVEL_TRACKING_RECORD";
const char kReplayPrefix[] = "replay:";
const char kLoopSuffix[] = ",loop";

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting)
{
    const std::string value = setting ? setting : "";
    if (value.empty() || value == "none")
        return std::make_unique<IdleSource>();
    if (value == "demo")
        return std::make_unique<DemoSource>();
    if (auto service = makeServiceSource(value))
        return service;
    if (auto camera = makeCameraSource(value))
        return camera;
    if (value.rfind(kReplayPrefix, 0) == 0) {
        std::string path = value.substr(sizeof(kReplayPrefix) - 1);
        const bool loop = endsWith(path, kLoopSuffix);
        if (loop)
            path.resize(path.size() - (sizeof(kLoopSuffix) - 1));
        if (!path.empty())
            return std::make_unique<ReplaySource>(path, loop);
    }
    std::cerr << (std::string(kVariable) + ": unknown value \"" + value +
                  "\"; accepted: service, service:ws://HOST:PORT/PATH, replay:PATH, "
                  "replay:PATH,loop, camera, camera:DEVICE, video:PATH, video:PATH,loop, demo, "
                  "none. Tracking is off.\n")
              << std::flush;
    return std::make_unique<IdleSource>();
}

std::unique_ptr<FrameSource> makeSourceFromEnvironment()
{
    // A player with a controller sets nothing: the tracking service is the default.
    const char* setting = std::getenv(kVariable);
    if (!setting || !*setting)
        setting = "service";
    return recordedIfAsked(makeSourceFromSetting(setting), std::getenv(kRecordVariable));
}

} // namespace Leap
