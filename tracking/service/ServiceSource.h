#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "tracking/Leap.h"
#include "tracking/ReportSink.h"

namespace Leap {

class ServiceLink;

// The tracking service on this machine. Other hosts are used only when named.
constexpr char kDefaultServiceUrl[] = "ws://127.0.0.1:6437/v6.json";

// Frames from the hand-tracking service's live WebSocket feed, protocol version 6.
// A thread of its own keeps the connection: after the service's version greeting it asks for
// frames, maps device events and frames to source events through the same parser as recorded
// files, and after any failure tries again every reconnectMs, forever. Frames wait in a short
// queue; when the listener falls behind, the oldest waiting frames are dropped (never a connect
// or disconnect), so a pluck is never heard late. Status lines go to the report sink, never one
// per attempt, message or frame.
class ServiceSource : public FrameSource {
public:
    struct Options {
        std::string url = kDefaultServiceUrl; // ws://HOST:PORT/PATH
        int reconnectMs = 500;                // pause before the next attempt, milliseconds
        int quietMs = 1000;  // silence after which the service is pinged, milliseconds
        int answerMs = 2000; // longest wait for the greeting, a pong or a closing handshake, ms
        std::size_t maxQueuedFrames = 8; // frames waiting for the listener, at most
        ReportSink report = reportToStandardError;
    };

    // Whether the source can use this address (ws:// with a host); `why` says what is wrong.
    static bool isUsableUrl(const std::string& url, std::string& why);

    explicit ServiceSource(Options options);
    // Stops the connection thread first.
    ~ServiceSource() override;

    bool next(SourceEvent& event) override;
    // Returns once the connection thread has ended. Safe from any thread, more than once.
    void stop() override;

private:
    std::unique_ptr<ServiceLink> fLink;
};

} // namespace Leap
