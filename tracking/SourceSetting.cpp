#include "tracking/SourceSetting.h"

#include <iostream>
#include <string>
#include <utility>

#include "tracking/DemoSource.h"
#include "tracking/IdleSource.h"
#include "tracking/InstalledFiles.h"
#include "tracking/PointerSource.h"
#include "tracking/camera/CameraSource.h"
#include "tracking/recording/RecordingSource.h"
#include "tracking/recording/ReplaySource.h"
#include "tracking/service/ServiceSource.h"

namespace Leap {

namespace {

const char kVariable[] = "QUORVEL_TRACKING";
const char kLoopSuffix[] = ",loop";

// Builds a source from what follows "NAME:" in a setting, null when the setting is the bare
// name. On refusal (with camera null: always, after checking) returns null and sets `why`.
using Builder = std::unique_ptr<FrameSource> (*)(const std::string* argument,
                                                 const CameraSettings* camera, std::string& why);

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

std::unique_ptr<FrameSource> buildService(const std::string* address, const CameraSettings* camera,
                                          std::string& why)
{
    ServiceSource::Options options;
    if (address)
        options.url = *address;
    if (!ServiceSource::isUsableUrl(options.url, why) || !camera)
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

std::unique_ptr<FrameSource> buildReplay(const std::string* argument, const CameraSettings* camera,
                                         std::string& why)
{
    std::string path;
    bool loop = false;
    if (!pathAndLoop(argument, "replay", path, loop, why) || !camera)
        return nullptr;
    return std::make_unique<ReplaySource>(findPerformance(path), loop);
}

std::unique_ptr<FrameSource> buildCamera(const std::string* device, const CameraSettings* camera,
                                         std::string& why)
{
    if (device && device->empty()) {
        why = "no device named after \"camera:\"";
        return nullptr;
    }
    if (!camera)
        return nullptr;
    return std::make_unique<CameraSource>(CameraSource::Kind::kCamera, device ? *device : "0",
                                          false, *camera);
}

std::unique_ptr<FrameSource> buildVideo(const std::string* argument, const CameraSettings* camera,
                                        std::string& why)
{
    std::string path;
    bool loop = false;
    if (!pathAndLoop(argument, "video", path, loop, why) || !camera)
        return nullptr;
    return std::make_unique<CameraSource>(CameraSource::Kind::kVideo, path, loop, *camera);
}

template <typename Source>
std::unique_ptr<FrameSource> buildBare(const std::string* argument, const CameraSettings* camera,
                                       std::string& why)
{
    if (argument) {
        why = "nothing may follow the name";
        return nullptr;
    }
    if (!camera)
        return nullptr;
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
    {"pointer", "pointer", buildBare<PointerSource>},
    {"none", "none", buildBare<IdleSource>},
};

// The source a setting names, or null with the reason. With camera null it only checks the
// setting, and `why` stays empty when the setting is good.
std::unique_ptr<FrameSource> buildFromSetting(const std::string& value,
                                              const CameraSettings* camera, std::string& why)
{
    const std::size_t colon = value.find(':');
    const std::string name = value.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : value.substr(colon + 1);
    for (const SourceName& source : kSources) {
        if (name == source.name)
            return source.build(colon == std::string::npos ? nullptr : &argument, camera, why);
    }
    why = "no source has that name";
    return nullptr;
}

} // namespace

std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting,
                                                   const CameraSettings& camera)
{
    const std::string value = setting ? setting : "";
    if (value.empty())
        return std::make_unique<IdleSource>();
    std::string why;
    if (auto source = buildFromSetting(value, &camera, why))
        return source;
    std::cerr << (std::string(kVariable) + ": cannot use \"" + value + "\": " + why +
                  "; accepted: " + sourceSettingForms() + ". Tracking is off.\n")
              << std::flush;
    return std::make_unique<IdleSource>();
}

bool checkSourceSetting(const std::string& setting, std::string& why)
{
    why.clear();
    buildFromSetting(setting, nullptr, why);
    return why.empty();
}

std::string sourceSettingForms()
{
    std::string list;
    for (const SourceName& source : kSources)
        list += (list.empty() ? "" : ", ") + std::string(source.forms);
    return list;
}

std::unique_ptr<FrameSource> makeSource(const SourceSettings& settings)
{
    // A player with a controller sets nothing: the tracking service is the default.
    const std::string tracking = settings.tracking.empty() ? "service" : settings.tracking;
    return recordedIfAsked(makeSourceFromSetting(tracking.c_str(), settings.camera),
                           settings.record.empty() ? nullptr : settings.record.c_str());
}

} // namespace Leap
