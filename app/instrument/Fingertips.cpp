#include "app/instrument/Fingertips.h"

#include <cmath>
#include <iostream>

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/InstrumentOutput.h"
#include "app/instrument/Pluck.h"
#include "app/instrument/TrackerSpace.h"
#include "src/ConsoleLine.h"

namespace GLStuff {

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

void Follow(const Leap::Frame& frame)
{
    {
        std::lock_guard<std::mutex> hold(gLock);
        for (auto& entry : gFingers)
            entry.second.fStale = true;
    }
    InstrumentOutput* outputs[kMaxOutputs];
    for (int slot = 0; slot < kMaxOutputs; ++slot) {
        outputs[slot] = OutputAt(slot);
        if (outputs[slot])
            outputs[slot]->BeginFrame();
    }

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
            for (InstrumentOutput* output : outputs)
                if (output)
                    output->Finger(id, x, y, static_cast<float>(tip.z));
            airMotion(x, y, static_cast<float>(tip.z), lastX, lastY,
                      SweepSpeed(x - lastX, lastMicros, frame.timestamp()));
        }
    }

    for (InstrumentOutput* output : outputs)
        if (output)
            output->EndFrame();
    std::lock_guard<std::mutex> hold(gLock);
    for (auto track = gFingers.begin(); track != gFingers.end();) {
        if (track->second.fStale)
            track = gFingers.erase(track);
        else
            ++track;
    }
}

} // namespace GLStuff
