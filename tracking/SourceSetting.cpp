#include "SourceSetting.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>

#include "CameraSource.h"
#include "DemoSource.h"
#include "IdleSource.h"
#include "InstalledFiles.h"
#include "RecordingSource.h"
#include "ReplaySource.h"
#include "ServiceSource.h"

namespace Leap {

namespace {

const char kVariable[] = "QUORVEL_TRACKING";
const char kRecordVariable[] = "QUORVEL_TRACKING_RECORD";
const char kLoopSuffix[] = ",loop";

// Builds a source from what follows "NAME:" in a setting, null when the setting is the bare
// name. On refusal returns null and sets `why`.
using Builder = std::unique_ptr<FrameSource> (*)(const std::string* argument, std::string& why);

struct SourceName {
    const char* name;
    const char* forms; // how it is written, for the list of accepted values
    Builder build;
};

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::unique_ptr<FrameSource> buildService(const std::string* address, std::string& why)
{
    ServiceSource::Options options;
    if (address)
        options.url = *address;
    if (!ServiceSource::isUsableUrl(options.url, why))
        return nullptr;
    return std::make_unique<ServiceSource>(std::move(options));
}

// A file path with an optional ",loop" after it, as "replay:" and "video:" take; false with the
// reason when no path is named.
bool pathAndLoop(const std::string* argument, const char* name, std::string& path, bool& loop,
                 std::string& why)
{
    path = argument ? *argument : "";
    loop = endsWith(path, kLoopSuffix);
    if (loop)
        path.resize(path.size() - (sizeof(kLoopSuffix) - 1));
    if (path.empty())
        why = std::string("no file named after \"") + name + ":\"";
    return !path.empty();
}

std::unique_ptr<FrameSource> buildReplay(const std::string* argument, std::string& why)
{
    std::string path;
    bool loop = false;
    if (!pathAndLoop(argument, "replay", path, loop, why))
        return nullptr;
    return std::make_unique<ReplaySource>(findPerformance(path), loop);
}

std::unique_ptr<FrameSource> buildCamera(const std::string* device, std::string& why)
{
    if (device && device->empty()) {
        why = "no device named after \"camera:\"";
        return nullptr;
    }
    return std::make_unique<CameraSource>(CameraSource::Kind::kCamera, device ? *device : "0",
                                          false);
}

std::unique_ptr<FrameSource> buildVideo(const std::string* argument, std::string& why)
{
    std::string path;
    bool loop = false;
    if (!pathAndLoop(argument, "video", path, loop, why))
        return nullptr;
    return std::make_unique<CameraSource>(CameraSource::Kind::kVideo, path, loop);
}

template <typename Source>
std::unique_ptr<FrameSource> buildBare(const std::string* argument, std::string& why)
{
    if (argument) {
        why = "nothing may follow the name";
        return nullptr;
    }
    return std::make_unique<Source>();
}

// Every source a setting can name, in the order the accepted values are listed. A new source
// gets one row here.
const SourceName kSources[] = {
    {"service", "service, service:ws://HOST:PORT/PATH", buildService},
    {"replay", "replay:PATH, replay:PATH,loop", buildReplay},
    {"camera", "camera, camera:DEVICE", buildCamera},
    {"video", "video:PATH, video:PATH,loop", buildVideo},
    {"demo", "demo", buildBare<DemoSource>},
    {"none", "none", buildBare<IdleSource>},
};

std::string acceptedValues()
{
    std::string list;
    for (const SourceName& source : kSources)
        list += (list.empty() ? "" : ", ") + std::string(source.forms);
    return list;
}

// The source a setting names, or null with the reason.
std::unique_ptr<FrameSource> buildFromSetting(const std::string& value, std::string& why)
{
    const std::size_t colon = value.find(':');
    const std::string name = value.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : value.substr(colon + 1);
    for (const SourceName& source : kSources) {
        if (name == source.name)
            return source.build(colon == std::string::npos ? nullptr : &argument, why);
    }
    why = "no source has that name";
    return nullptr;
}

} // namespace

std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting)
{
    const std::string value = setting ? setting : "";
    if (value.empty())
        return std::make_unique<IdleSource>();
    std::string why;
    if (auto source = buildFromSetting(value, why))
        return source;
    std::cerr << (std::string(kVariable) + ": cannot use \"" + value + "\": " + why +
                  "; accepted: " + acceptedValues() + ". Tracking is off.\n")
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

// Here rather than beside the controller's other members: the controller itself needs none of the
// sources, so a program that hands it its own source links none of them.
Controller::Controller(Listener* listener) : Controller(listener, makeSourceFromEnvironment()) {}

} // namespace Leap
