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
#include "tracking/recording/RecordingReader.h"

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

struct Replay {
    std::unique_ptr<Leap::RecordingReader> reader;
    std::string name;
    Leap::ParsedMessage pending; // read but not yet due
    bool hasPending = false;
    long badLines = 0;
    long frames = 0;
};
std::unique_ptr<Replay> sReplay;

void Report(Replay& replay, const std::string& what)
{
    ++replay.badLines;
    if (replay.badLines <= kMaxReportedLines)
        sMessage +=
            replay.name + ":" + std::to_string(replay.reader->lineNumber()) + ": " + what + "\n";
    else if (replay.badLines == kMaxReportedLines + 1)
        sMessage += replay.name + ": more bad lines, not reported\n";
}

void Play(Replay& replay, const Leap::ParsedMessage& message)
{
    switch (message.kind) {
    case Leap::ParsedMessage::kError:
        Report(replay, message.error + "; skipped");
        break;
    case Leap::ParsedMessage::kFrame:
        ++replay.frames;
        GLStuff::Follow(message.frame);
        break;
    case Leap::ParsedMessage::kForeign: {
        PerformanceSettings settings;
        std::string error;
        if (PerformanceSettings::Parse(message.text, settings, error)) {
            std::ostringstream errors;
            settings.Apply(errors);
            sMessage += errors.str();
        } else if (!error.empty()) {
            Report(replay, "instrument settings ignored: " + error);
        }
        break;
    }
    default:
        break;
    }
}

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
    sReplay = std::make_unique<Replay>();
    sReplay->reader = std::make_unique<Leap::RecordingReader>(file);
    sReplay->name = name;
    return 1;
}

// Plays every line of the recording up to `micros` on its clock. 1 while lines remain, 0 at the
// end (or with no recording).
int quorvel_replay(double micros)
{
    if (!sReplay)
        return 0;
    Replay& replay = *sReplay;
    for (;;) {
        if (!replay.hasPending) {
            const Leap::RecordingReader::Read read = replay.reader->next(replay.pending);
            if (read == Leap::RecordingReader::Read::kTooLong) {
                Report(replay, "line too long; skipped");
                continue;
            }
            if (read != Leap::RecordingReader::Read::kMessage) {
                if (!replay.reader->failure().empty())
                    sMessage += replay.name + ": " + replay.reader->failure() + "\n";
                if (replay.frames == 0)
                    sMessage += replay.name + ": no tracking frames in it\n";
                sReplay.reset();
                return 0;
            }
            replay.hasPending = true;
        }
        if (static_cast<double>(replay.reader->clockMicros()) > micros)
            return 1;
        replay.hasPending = false;
        Play(replay, replay.pending);
    }
}

// The recording's clock at the line last played, microseconds.
double quorvel_replay_clock()
{
    return sReplay ? static_cast<double>(sReplay->reader->clockMicros()) : 0.0;
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
