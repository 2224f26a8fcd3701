#pragma once

#include <memory>
#include <string>

#include "tracking/Leap.h"
#include "tracking/camera/CameraSettings.h"

namespace Leap {

// Where the fingertips come from, as the program's settings say it. The library reads no
// environment: the program fills this in.
struct SourceSettings {
    std::string tracking;  // a source setting (see makeSourceFromSetting); empty: "service"
    std::string record;    // also record the frames to this file; empty: no recording
    CameraSettings camera; // for "camera" and "video"
};

// The frame source named by a source setting: "service", "service:ws://HOST:PORT/PATH",
// "replay:PATH", "replay:PATH,loop", "camera", "camera:DEVICE",
// "video:PATH", "video:PATH,loop", "demo" or "none"; null or empty means "none" here (the
// program's default, the service, is chosen by makeSource). A value that names no source, or
// names one that cannot be built from it, is reported on standard error with the reason and
// gives "none".
std::unique_ptr<FrameSource> makeSourceFromSetting(const char* setting,
                                                   const CameraSettings& camera = {});

// Whether makeSourceFromSetting can build a source from `setting`; when not, `why` says why.
bool checkSourceSetting(const std::string& setting, std::string& why);

// The forms a source setting takes, for a list of accepted values.
std::string sourceSettingForms();

// The source `settings` choose (the service when none is named), recorded if they ask for it.
std::unique_ptr<FrameSource> makeSource(const SourceSettings& settings);

} // namespace Leap
