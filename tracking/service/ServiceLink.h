#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>
#include <websocketpp/logger/stub.hpp>

#include "tracking/FrameParser.h"
#include "tracking/FrameQueue.h"
#include "tracking/service/ServiceSource.h"
#include "tracking/service/ServiceStatus.h"

namespace Leap {

// The connection of a ServiceSource and its state machine. Everything below fQueue runs on the
// connection thread (fThread), which runs fIo; only next() and stop() come from other threads.
class ServiceLink {
    // websocketpp on standalone asio, without TLS and without logging of its own: every line the
    // player sees goes through ServiceStatus.
    struct ClientConfig : websocketpp::config::asio_client {
        typedef ClientConfig type;
        typedef websocketpp::log::stub elog_type;
        typedef websocketpp::log::stub alog_type;

        struct transport_config : websocketpp::config::asio_client::transport_config {
            typedef websocketpp::log::stub elog_type;
            typedef websocketpp::log::stub alog_type;
            // Connecting to a named host across a network, milliseconds; loopback answers at once.
            static const long timeout_connect = 2000;
        };
        typedef websocketpp::transport::asio::endpoint<transport_config> transport_type;

        // A longer message is not a frame: a protocol error, and the link starts again.
        static const std::size_t max_message_size = kMaxMessageBytes;
    };

    using Client = websocketpp::client<ClientConfig>;

public:
    explicit ServiceLink(ServiceSource::Options options);
    ~ServiceLink();

    bool next(SourceEvent& event) { return fQueue.pop(event); }
    void stop();

private:
    enum class Phase {
        kWaiting,    // between attempts
        kConnecting, // TCP and the opening handshake
        kGreeting,   // open; waiting for the service's version message
        kLive        // greeted, or frames flow without a greeting
    };

    void run();
    void connect();
    void onOpen(unsigned session);
    void onFail(unsigned session);
    void onClose(unsigned session);
    void onMessage(unsigned session, const Client::message_ptr& message);
    void onPongTimeout(unsigned session);
    void onWatch(const std::error_code& error);
    void handleText(const std::string& text);
    void handleGreeting(const std::string& text);
    void goLive(const std::string& serviceVersion);
    void setConnected(bool connected);
    // Closes the current connection and waits for the next attempt.
    void abandon();
    void endSession();
    void scheduleRetry();
    void scheduleWatch();

    const ServiceSource::Options fOptions;
    FrameQueue fQueue;

    // Connection thread only. fIo outlives the client and the timers, which use it.
    ServiceStatus fStatus;
    asio::io_context fIo;
    Client fClient;
    asio::steady_timer fRetryTimer;
    asio::steady_timer fWatchTimer;
    Client::connection_ptr fConnection; // the current attempt, if any
    unsigned fSession = 0;              // callbacks of earlier attempts are ignored
    Phase fPhase = Phase::kWaiting;
    bool fTcpUp = false;     // the current attempt reached the peer
    bool fConnected = false; // the controller was last told: connected
    bool fHeard = false;     // a message or pong since the last watch
    bool fPinged = false;    // a ping waits for its pong
    std::chrono::steady_clock::time_point fPhaseSince;

    std::mutex fStopLock;
    bool fStopped = false; // guarded by fStopLock
    std::thread fThread;   // last: started once everything above exists
};

} // namespace Leap
