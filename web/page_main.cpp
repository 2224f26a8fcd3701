// The instrument on the page's main thread: keys, fingertips (the pointer, the demo, a
// recording) and the pluck detector, as the desktop program has them. Plucks leave through the
// page's harp (PageHarp.cpp) for the audio worklet; the page draws what scene() describes.

#include <fcntl.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/instrument/Fingertips.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/PerformanceSettings.h"
#include "app/instrument/Pluck.h"
#include "app/instrument/StringLayout.h"
#include "app/window/Keys.h"
#include "app/window/Scene.h"
#include "tracking/DemoSource.h"
#include "tracking/recording/RecordingLoop.h"

namespace {

// Bad lines of one recording said one by one; the rest in one line.
constexpr long kMaxReportedLines = 3;
constexpr int kSceneHeader = 4;
constexpr int kStringFloats = 5;
constexpr int kFingerFloats = 13;
constexpr int kMaxFingers = 16;

std::string sMessage; // what the page shows under the banner; empty: nothing new
std::string sBanner;
float sScene[kSceneHeader + Harp::kMaxStrings * kStringFloats + kMaxFingers * kFingerFloats];

// The recording the page replays, played up to the sound's clock on each call.
class Replay : public Leap::RecordingLoop::Target {
public:
    Replay(int file, const std::string& name)
        : lines(
              file, -1, name, [](const std::string& line) { sMessage += line + "\n"; },
              kMaxReportedLines)
    {
    }

    Leap::RecordingLoop lines;
    double dueMicros = 0; // the recording's clock the page has reached

private:
    bool reach(std::int64_t clockMicros) override
    {
        return static_cast<double>(clockMicros) <= dueMicros;
    }
    bool frame(Leap::Frame& frame) override
    {
        GLStuff::Follow(frame);
        return true;
    }
    bool foreign(Leap::ParsedMessage& message) override
    {
        PerformanceSettings settings;
        std::string error;
        if (PerformanceSettings::Read(*message.object, settings, error)) {
            std::ostringstream errors;
            settings.Apply(errors);
            sMessage += errors.str();
        } else if (!error.empty()) {
            lines.reportLine("instrument settings ignored: " + error);
        }
        return true;
    }
    std::string skipped(const std::string& error, std::size_t bytes) const override
    {
        return (bytes == 0 ? error : std::string("line too long")) + "; skipped";
    }
};
std::unique_ptr<Replay> sReplay;

} // namespace

extern "C" {

void quorvel_start()
{
    Harp::GetInstance();
}

// A key as the desktop window takes it; what the window must do (GLStuff::WindowRequest).
int quorvel_key(int key)
{
    std::ostringstream out;
    const GLStuff::WindowRequest request = GLStuff::ApplyKey(static_cast<unsigned char>(key), out);
    sMessage += out.str();
    return static_cast<int>(request);
}

// Lines for the player since the last call, then empty.
const char* quorvel_message()
{
    static std::string taken;
    taken.swap(sMessage);
    sMessage.clear();
    return taken.c_str();
}

// One frame of `count` fingertips, each (id, x, y, z) in tracker millimetres, at `micros`.
void quorvel_frame(int count, const double* tips, double micros)
{
    std::vector<Leap::Hand> hands;
    for (int i = 0; i < count; ++i) {
        const double* tip = tips + 4 * i;
        const int id = static_cast<int>(tip[0]);
        hands.emplace_back(
            id, std::vector<Leap::Finger>{Leap::Finger(id, Leap::Vector{tip[1], tip[2], tip[3]})});
    }
    GLStuff::Follow(Leap::Frame(static_cast<std::int64_t>(micros / 1e4),
                                static_cast<std::int64_t>(micros), std::move(hands)));
}

// Frame `n` of the built-in demo, 10 ms apart.
void quorvel_demo(double n)
{
    GLStuff::Follow(Leap::DemoSource::frameAt(static_cast<std::int64_t>(n)));
}

// Starts replaying the recording at `path` (the page's file system) under `name`; false when it
// cannot be opened. Ends any replay before it.
int quorvel_open(const char* path, const char* name)
{
    sReplay.reset();
    const int file = ::open(path, O_RDONLY);
    if (file < 0) {
        sMessage += std::string(name) + ": cannot open\n";
        return 0;
    }
    sReplay = std::make_unique<Replay>(file, name);
    return 1;
}

// Plays every line of the recording up to `micros` on its clock. 1 while lines remain, 0 at the
// end (or with no recording).
int quorvel_replay(double micros)
{
    if (!sReplay)
        return 0;
    sReplay->dueMicros = micros;
    if (sReplay->lines.play(*sReplay) == Leap::RecordingLoop::Played::kPaused)
        return 1;
    if (sReplay->lines.passFrames() == 0)
        sReplay->lines.report("no tracking frames in it");
    sReplay.reset();
    return 0;
}

// The recording's clock at the line last played, microseconds.
double quorvel_replay_clock()
{
    return sReplay ? static_cast<double>(sReplay->lines.reader().clockMicros()) : 0.0;
}

// What the picture shows for a canvas `width` x `height` pixels: [strings, fingers, swing,
// shown], then per string (rest x, red, green, blue, alpha), then per fingertip (x, y, aspect x,
// aspect y, outer rgba, inner rgba, inner scale). Positions in normalised window units.
const float* quorvel_scene(int width, int height)
{
    const int strings = Harp::GetInstance()->GetNumStrings();
    const GLStuff::ScaleChoice scale = GLStuff::CurrentScale();
    const float spacing = GLStuff::StringSpacing(strings);
    float* out = sScene + kSceneHeader;
    for (int i = 0; i < strings; ++i) {
        const GLStuff::Color color = GLStuff::StringColor(i, scale.count);
        const float values[kStringFloats] = {GLStuff::StringRestX(i, spacing), color.red,
                                             color.green, color.blue, color.alpha};
        out = std::copy(values, values + kStringFloats, out);
    }
    int fingers = 0;
    {
        std::lock_guard<std::mutex> hold(GLStuff::gLock);
        for (const auto& entry : GLStuff::gFingers) {
            if (fingers == kMaxFingers)
                break;
            const GLStuff::Finger& finger = entry.second;
            const GLStuff::FingertipLook look =
                GLStuff::FingertipAppearance(finger.fNearness, width, height);
            const float values[kFingerFloats] = {
                finger.fX,      finger.fY,        look.aspectScaleX, look.aspectScaleY,
                look.outer.red, look.outer.green, look.outer.blue,   look.outer.alpha,
                look.inner.red, look.inner.green, look.inner.blue,   look.inner.alpha,
                look.innerScale};
            out = std::copy(values, values + kFingerFloats, out);
            ++fingers;
        }
    }
    sScene[0] = static_cast<float>(strings);
    sScene[1] = static_cast<float>(fingers);
    sScene[2] = static_cast<float>(GLStuff::WaveformSwing(spacing));
    sScene[3] = GLStuff::gShowHUD ? 1.0f : 0.0f;
    return sScene;
}

// The banner's line: the program, the key and touch.
const char* quorvel_banner()
{
    sBanner = GLStuff::BannerLine(GLStuff::CurrentScale().key, GLStuff::Touch());
    return sBanner.c_str();
}

// Redraws per second the player chose with w and s.
float quorvel_frame_rate()
{
    return GLStuff::gFrameRate;
}

} // extern "C"
