#include "HarpListener.h"

#include <cmath>
#include <iostream>

#include "ConsoleLine.h"
#include "GLStuff.h"
#include "OscOut.h"
#include "PerformanceSettings.h"
#include "Pluck.h"
#include "SettingsRelay.h"

namespace {

// Tracker millimetres to normalised window units: x -200..200 and height 150..350 to 0..1,
// depth 300..0 to nearness 0..1. Not clamped.
float windowX(double trackerX)
{
    return static_cast<float>((trackerX + 200.0) / 400.0);
}
float windowY(double trackerY)
{
    return static_cast<float>((trackerY - 150.0) / 200.0);
}
float nearness(double trackerZ)
{
    return static_cast<float>(trackerZ / -300.0 + 1.0);
}

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
            const float x = windowX(tip.x);
            const float y = windowY(tip.y);
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
                track->second.fNearness = nearness(tip.z);
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
