#pragma once

#include <string>

#include "CameraView.h"
#include "Leap.h"

// Turns tracking frames into fingertip tracks (GLStuff::gFingers) and hands every move to the
// pluck detector. All callbacks run on the tracking controller's thread, one at a time.
class HarpListener : public Leap::Listener {
public:
    void onInit(const Leap::Controller&) override;
    void onConnect(const Leap::Controller&) override;
    void onDisconnect(const Leap::Controller&) override;
    void onFrame(const Leap::Controller& controller) override;
    // Settings lines of a replay go to the window thread; other lines are not the harp's.
    void onMessage(const Leap::Controller&, const std::string& message) override;
    // What the camera waits for, in the player's words, on standard output once a change.
    void onStatus(const Leap::Controller& controller) override;

    // Moves the fingertip tracks to a frame and hands every move to the pluck detector. The
    // tracking thread, or the only thread of a program without one.
    static void Follow(const Leap::Frame& frame);

private:
    // The camera's state last written; tracking thread.
    bool fToldAny = false;
    Leap::CameraView::State fToldState = Leap::CameraView::State::kStarting;
};
