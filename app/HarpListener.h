#pragma once

#include "Leap.h"

// Turns tracking frames into fingertip tracks (GLStuff::gFingers) and hands every move to the
// pluck detector. All callbacks run on the tracking controller's thread, one at a time.
class HarpListener : public Leap::Listener {
public:
    void onInit(const Leap::Controller&) override;
    void onConnect(const Leap::Controller&) override;
    void onDisconnect(const Leap::Controller&) override;
    void onFrame(const Leap::Controller& controller) override;
};
