// The player's own settings: the sound system, tracking, the camera, MIDI and OSC. Apart from the
// settings both programs share, so that the renderer links none of what judges these.
#include "app/Options.h"

#include "app/JackServerFromEnvironment.h"
#include "src/device/AudioDevices.h"

namespace {

using Setting = OptionTable::Setting;

bool JudgePlayer(Setting setting, const std::string& value, Options& into, std::string& accepted,
                 std::string& why)
{
    switch (setting) {
    case Setting::kListDevices:
        return true;
    case Setting::kAudio:
        accepted = "jack, pulse or alsa";
        into.audioSystem = value;
        return Options::OneOf(value, {"jack", "pulse", "alsa"});
    case Setting::kDevice:
        into.audioDevice = value;
        return true;
    case Setting::kOsc:
        into.osc = value;
        return true;
    case Setting::kTracking:
        into.tracking.tracking = value;
        accepted = Leap::sourceSettingForms();
        return Leap::checkSourceSetting(value, why);
    case Setting::kTrackingRecord:
        into.tracking.record = value;
        return true;
    case Setting::kCameraModel:
        accepted = "lite or full";
        into.tracking.camera.variant = value;
        return Options::OneOf(value, {"lite", "full"});
    case Setting::kCameraRuntime:
        accepted = "onnxruntime or opencv";
        into.tracking.camera.runtime = value == "opencv" ? Leap::InferenceRuntime::kOpenCv
                                                         : Leap::InferenceRuntime::kOnnxRuntime;
        return Options::OneOf(value, {"onnxruntime", "opencv"});
    case Setting::kModelDir:
        into.tracking.camera.modelDir = value;
        return true;
    case Setting::kMidi:
        accepted = "auto, jack, alsa or off";
        into.midi = value;
        return Options::OneOf(value, {"auto", "jack", "alsa", "off"});
    default:
        return Options::JudgeShared(setting, value, into, accepted, why);
    }
}

} // namespace

Options Options::ParsePlayer(int& argc, char** argv, const OptionTable::Lookup& lookup)
{
    Options options = Parse(argc, argv, lookup, OptionTable::kPlayer, JudgePlayer);
    // The system's own variables place the model cache and find the model set-up's tools.
    options.tracking.camera.modelDir = Leap::cameraModelDir(
        options.tracking.camera.modelDir.c_str(), lookup("XDG_CACHE_HOME"), lookup("HOME"));
    const char* searchPath = lookup("PATH");
    options.tracking.camera.searchPath = searchPath ? searchPath : "";
    return options;
}

int Options::AnswerPlayer(std::ostream& out, std::ostream& err) const
{
    if (action != Action::ListDevices)
        return Answer(out, err);
    AudioDevices::Print(out, AudioDevices::Probe(JackServerFromEnvironment()));
    return 0;
}
