#include "tracking/Leap.h"

#include <exception>
#include <string>

#include "tracking/ReportSink.h"

namespace Leap {

Controller::Controller(Listener* listener, std::unique_ptr<FrameSource> source)
    : fListener(listener), fSource(std::move(source))
{
    fThread = std::thread(&Controller::run, this);
}

Controller::~Controller()
{
    shutDown();
}

void Controller::shutDown()
{
    std::lock_guard<std::mutex> guard(fShutDownLock);
    if (fSource)
        fSource->stop();
    if (!fThread.joinable())
        return;
    if (fThread.get_id() == std::this_thread::get_id()) {
        // Exit or destruction from inside a callback: the thread cannot join itself. The source
        // is stopped, so the loop ends as soon as the callback returns.
        fThread.detach();
        return;
    }
    fThread.join();
}

Frame Controller::frame(int history) const
{
    std::lock_guard<std::mutex> guard(fHistoryLock);
    if (history < 0 || static_cast<std::size_t>(history) >= fHistory.size())
        return Frame();
    return fHistory[static_cast<std::size_t>(history)];
}

bool Controller::isConnected() const
{
    return fConnected.load();
}

void Controller::record(const std::string& message) const
{
    if (fSource)
        fSource->annotate(message);
}

void Controller::recalibrate() const
{
    if (fSource)
        fSource->recalibrate();
}

std::shared_ptr<CameraView> Controller::cameraView() const
{
    return fSource ? fSource->cameraView() : nullptr;
}

void Controller::callListener(void (Listener::*callback)(const Controller&), const char* name)
{
    if (!fListener)
        return;
    try {
        (fListener->*callback)(*this);
    } catch (const std::exception& e) {
        reportToStandardError(std::string("tracking: listener ") + name + " threw: " + e.what());
    } catch (...) {
        reportToStandardError(std::string("tracking: listener ") + name +
                              " threw an unknown exception");
    }
}

void Controller::deliver(SourceEvent& event)
{
    switch (event.kind) {
    case SourceEvent::kConnect:
        if (!fConnected.exchange(true))
            callListener(&Listener::onConnect, "onConnect");
        break;
    case SourceEvent::kDisconnect:
        if (fConnected.exchange(false))
            callListener(&Listener::onDisconnect, "onDisconnect");
        break;
    case SourceEvent::kFrame:
        // A frame is proof that the device streams, whether or not the source said so first.
        if (!fConnected.exchange(true))
            callListener(&Listener::onConnect, "onConnect");
        {
            std::lock_guard<std::mutex> guard(fHistoryLock);
            fHistory.push_front(std::move(event.frame));
            if (fHistory.size() > kHistoryFrames)
                fHistory.pop_back();
        }
        callListener(&Listener::onFrame, "onFrame");
        break;
    case SourceEvent::kStatus:
        callListener(&Listener::onStatus, "onStatus");
        break;
    case SourceEvent::kMessage:
        if (!fListener)
            break;
        fMessage = event.object.get();
        try {
            fListener->onMessage(*this, event.message);
        } catch (const std::exception& e) {
            reportToStandardError(std::string("tracking: listener onMessage threw: ") + e.what());
        } catch (...) {
            reportToStandardError("tracking: listener onMessage threw an unknown exception");
        }
        fMessage = nullptr;
        break;
    }
}

void Controller::run()
{
    callListener(&Listener::onInit, "onInit");
    if (!fSource)
        return;
    try {
        SourceEvent event;
        while (fSource->next(event)) {
            deliver(event);
            fSource->handled();
        }
        return; // stopped: no further callbacks
    } catch (const std::exception& e) {
        reportToStandardError(std::string("tracking: frame source failed: ") + e.what());
    } catch (...) {
        reportToStandardError("tracking: frame source failed");
    }
    // A failed source is gone for good; the listener hears so.
    if (fConnected.exchange(false))
        callListener(&Listener::onDisconnect, "onDisconnect");
}

} // namespace Leap
