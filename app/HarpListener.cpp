#include "HarpListener.h"

#include <cmath>
#include <iostream>

#include "CameraPicture.h"
#include "CameraView.h"
#include "ConsoleLine.h"
#include "GLStuff.h"
#include "OscOut.h"
#include "PerformanceSettings.h"
#include "Pluck.h"
#include "SettingsRelay.h"
#include "TrackerSpace.h"

namespace {

// Horizontal speed in window widths per second over `dx` since the track's previous frame; a new
// track, or a clock that stood still or went back, counts one nominal frame of 10 ms.
float SweepSpeed(float dx, long long lastMicros, long long nowMicros)
{
    constexpr long long kNominalFrameMicros = 10000;
    const long long micros =
        lastMicros >= 0 && nowMicros > lastMicros ? nowMicros - lastMicros : kNominalFrameMicros;
    return std::fabs(dx) / (static_cast<float>(micros) * 1e-6f);
}

} // namespace

void HarpListener::onInit(const Leap::Controller& controller)
{
    WriteLine(std::cout, "Initialized");
    // A recording starts with the settings it was played with, before its first frame.
    controller.record(PerformanceSettings::Current().Line());
}

void HarpListener::onConnect(const Leap::Controller&)
{
    WriteLine(std::cout, "Connected");
}

void HarpListener::onDisconnect(const Leap::Controller&)
{
    WriteLine(std::cout, "Disconnected");
}

void HarpListener::onStatus(const Leap::Controller& controller)
{
    const std::shared_ptr<Leap::CameraView> view = controller.cameraView();
    if (!view)
        return;
    // Once a change: the seconds a still hand has left change the banner, not the terminal.
    const Leap::CameraView::Status status = view->status();
    if (fToldAny && status.state == fToldState)
        return;
    fToldAny = true;
    fToldState = status.state;
    WriteLine(std::cout, "camera: ", GLStuff::CameraSentence(status));
}

void HarpListener::onMessage(const Leap::Controller&, const std::string& message)
{
    PerformanceSettings settings;
    std::string error;
    if (PerformanceSettings::Parse(message, settings, error))
        SettingsRelay::HandOver(settings);
    else if (!error.empty())
        WriteLine(std::cerr, "replay: instrument settings ignored: ", error);
}

void HarpListener::onFrame(const Leap::Controller& controller)
{
    Follow(controller.frame(0));
}

void HarpListener::Follow(const Leap::Frame& frame)
{
    using namespace GLStuff;
    {
        std::lock_guard<std::mutex> hold(gLock);
        for (auto& entry : gFingers)
            entry.second.fStale = true;
    }
    OscOut* osc = OscOut::GetInstance();
    osc->BeginFrame();

    for (const Leap::Hand& hand : frame.hands()) {
        for (const Leap::Finger& finger : hand.fingers()) {
            const Leap::Vector& tip = finger.tip().position;
            const int id = finger.id();
            const float x = WindowX(tip.x);
            const float y = WindowY(tip.y);
            float lastX = 0.0f;
            float lastY = 0.0f;
            long long lastMicros = -1;
            bool inserted = false;
            {
                std::lock_guard<std::mutex> hold(gLock);
                auto track = gFingers.find(id);
                if (track == gFingers.end()) {
                    track = gFingers.emplace(id, Finger()).first;
                    inserted = true;
                } else {
                    track->second.fStale = false;
                }
                // A new track starts at (0, 0), so its first move may pluck the leftmost string.
                lastX = track->second.fX;
                lastY = track->second.fY;
                lastMicros = track->second.fTimestampMicros;
                track->second.fTimestampMicros = frame.timestamp();
                track->second.SetX(x);
                track->second.SetY(y);
                track->second.fNearness = Nearness(tip.z);
            }
            if (inserted)
                WriteLine(std::cout, "inserted finger: ", id);
            osc->Finger(id, x, y, static_cast<float>(tip.z));
            airMotion(x, y, static_cast<float>(tip.z), lastX, lastY,
                      SweepSpeed(x - lastX, lastMicros, frame.timestamp()));
        }
    }

    osc->EndFrame();
    std::lock_guard<std::mutex> hold(gLock);
    for (auto track = gFingers.begin(); track != gFingers.end();) {
        if (track->second.fStale)
            track = gFingers.erase(track);
        else
            ++track;
    }
}
