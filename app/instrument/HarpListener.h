#pragma once

#include <string>

#include "tracking/Leap.h"
#include "tracking/camera/CameraView.h"

// The instrument's ear on the tracking controller: frames go to the fingertip tracks and the
// pluck detector (GLStuff::Follow), a replay's settings lines to the instrument's actions, on the
// window thread when there is one (SettingsRelay). All callbacks run on the tracking controller's
// thread, one at a time.
class HarpListener : public Leap::Listener {
public:
    void onInit(const Leap::Controller&) override;
    void onConnect(const Leap::Controller&) override;
    void onDisconnect(const Leap::Controller&) override;
    void onFrame(const Leap::Controller& controller) override;
    // Settings lines of a replay go to SettingsRelay; other lines are not the harp's.
    void onMessage(const Leap::Controller& controller, const std::string& message) override;
    // What the camera waits for, in the player's words, on standard output once a change.
    void onStatus(const Leap::Controller& controller) override;

private:
    // The camera's state last written; tracking thread.
    bool fToldAny = false;
    Leap::CameraView::State fToldState = Leap::CameraView::State::kStarting;
};

// The one listener, handed to the tracking controller at start-up; holds no state the fingertip
// tracks need (those are gFingers, under gLock).
extern HarpListener listener;
