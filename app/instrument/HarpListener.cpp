#include "app/instrument/HarpListener.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "app/instrument/CameraSentence.h"
#include "app/instrument/Fingertips.h"
#include "app/instrument/PerformanceSettings.h"
#include "app/instrument/SettingsRelay.h"
#include "src/ConsoleLine.h"
#include "tracking/camera/CameraView.h"

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

void HarpListener::onMessage(const Leap::Controller& controller, const std::string& message)
{
    PerformanceSettings settings;
    std::string error;
    const nlohmann::json* parsed = controller.message();
    if (!(parsed ? PerformanceSettings::Read(*parsed, settings, error)
                 : PerformanceSettings::Parse(message, settings, error))) {
        if (!error.empty())
            WriteLine(std::cerr, "replay: instrument settings ignored: ", error);
    } else {
        SettingsRelay::HandOver(settings);
    }
}

void HarpListener::onFrame(const Leap::Controller& controller)
{
    GLStuff::Follow(controller.frame(0));
}

HarpListener listener;
