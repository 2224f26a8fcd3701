#include "ServiceSource.h"

// asio's atomic fences are invisible to ThreadSanitizer, which warns about each one it compiles;
// the hand-offs this file relies on go through mutexes and the io_context, which it does see.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>
#include <websocketpp/logger/stub.hpp>
#include <websocketpp/uri.hpp>

#include "FrameParser.h"
#include "FrameQueue.h"
#include "ServiceStatus.h"

namespace Leap {

namespace {

using Clock = std::chrono::steady_clock;

// The only protocol version whose frames we read.
constexpr int kProtocolVersion = 6;
// The two requests that make the service send frames, byte for byte: some bridges compare them.
constexpr char kBackgroundRequest[] = "{\"background\":true}";
constexpr char kFocusedRequest[] = "{\"focused\":true}";
// A greeted connection that keeps answering this long counts as healthy, milliseconds.
constexpr int kHealthyAfterMs = 1000;

// websocketpp on standalone asio, without TLS and without logging of its own: every line the
// player sees goes through ServiceStatus.
struct ServiceClientConfig : websocketpp::config::asio_client {
    typedef ServiceClientConfig type;
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

using Client = websocketpp::client<ServiceClientConfig>;

// Close codes we send when the peer's data breaks the protocol.
bool brokeProtocol(websocketpp::close::status::value code)
{
    namespace status = websocketpp::close::status;
    return code == status::protocol_error || code == status::unsupported_data ||
           code == status::invalid_payload || code == status::policy_violation ||
           code == status::message_too_big;
}

} // namespace

// The connection and its state machine. Everything below fQueue runs on the connection thread
// (fThread), which runs fIo; only next() and stop() come from other threads.
class ServiceSource::Link {
public:
    explicit Link(Options options);
    ~Link();

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

    const Options fOptions;
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
    Clock::time_point fPhaseSince;

    std::mutex fStopLock;
    bool fStopped = false; // guarded by fStopLock
    std::thread fThread;   // last: started once everything above exists
};

ServiceSource::Link::Link(Options options)
    : fOptions(std::move(options)), fQueue(fOptions.maxQueuedFrames),
      fStatus(fOptions.report, fOptions.url, fOptions.reconnectMs), fRetryTimer(fIo),
      fWatchTimer(fIo)
{
    fClient.init_asio(&fIo);
    fThread = std::thread(&Link::run, this);
}

ServiceSource::Link::~Link()
{
    stop();
    fConnection.reset();
}

void ServiceSource::Link::stop()
{
    std::lock_guard<std::mutex> guard(fStopLock);
    if (fStopped)
        return;
    fStopped = true;
    fQueue.stop();
    fIo.stop();
    if (fThread.joinable() && fThread.get_id() != std::this_thread::get_id())
        fThread.join();
}

void ServiceSource::Link::run()
{
    auto work = asio::make_work_guard(fIo);
    asio::post(fIo, [this] { connect(); });
    for (;;) {
        try {
            fIo.run();
            return; // stopped
        } catch (const std::exception& e) {
            // Unexpected; the link carries on with the next attempt.
            fStatus.linkFailed(e.what());
            endSession();
        }
    }
}

void ServiceSource::Link::connect()
{
    const unsigned session = ++fSession;
    websocketpp::lib::error_code error;
    Client::connection_ptr connection = fClient.get_connection(fOptions.url, error);
    if (error) {
        fStatus.unreachable(error.message());
        scheduleRetry();
        return;
    }
    connection->set_open_handshake_timeout(fOptions.answerMs);
    connection->set_close_handshake_timeout(fOptions.answerMs);
    connection->set_pong_timeout(fOptions.answerMs);
    connection->set_tcp_post_init_handler([this, session](websocketpp::connection_hdl) {
        if (session == fSession)
            fTcpUp = true;
    });
    connection->set_open_handler([this, session](websocketpp::connection_hdl) { onOpen(session); });
    connection->set_fail_handler([this, session](websocketpp::connection_hdl) { onFail(session); });
    connection->set_close_handler(
        [this, session](websocketpp::connection_hdl) { onClose(session); });
    connection->set_message_handler(
        [this, session](websocketpp::connection_hdl, Client::message_ptr message) {
            onMessage(session, message);
        });
    connection->set_pong_handler([this, session](websocketpp::connection_hdl, std::string) {
        if (session == fSession) {
            fHeard = true;
            fPinged = false;
        }
    });
    connection->set_pong_timeout_handler(
        [this, session](websocketpp::connection_hdl, std::string) { onPongTimeout(session); });

    fConnection = connection;
    fPhase = Phase::kConnecting;
    fTcpUp = false;
    fClient.connect(connection);
}

void ServiceSource::Link::onOpen(unsigned session)
{
    if (session != fSession)
        return;
    fPhase = Phase::kGreeting;
    fPhaseSince = Clock::now();
    fHeard = false;
    fPinged = false;
    scheduleWatch();
}

void ServiceSource::Link::onFail(unsigned session)
{
    if (session != fSession)
        return;
    std::string reason = fConnection->get_ec().message();
    if (const int status = fConnection->get_response_code(); status != 0)
        reason += " HTTP " + std::to_string(status);
    if (!fTcpUp)
        fStatus.missing(reason);
    else
        fStatus.notAService(reason);
    endSession();
}

void ServiceSource::Link::onClose(unsigned session)
{
    if (session != fSession)
        return;
    const auto remoteCode = fConnection->get_remote_close_code();
    const auto localCode = fConnection->get_local_close_code();
    const std::error_code error = fConnection->get_ec();
    if (remoteCode == websocketpp::close::status::going_away && fPhase == Phase::kGreeting) {
        fStatus.rejected(kProtocolVersion);
    } else if (brokeProtocol(localCode)) {
        // We closed because of what the peer sent: too long, malformed, not UTF-8.
        fStatus.brokeProtocol(fConnection->get_local_close_reason(), localCode);
    } else {
        fStatus.lost(error ? error.message() : "closed with code " + std::to_string(remoteCode));
    }
    endSession();
}

void ServiceSource::Link::onMessage(unsigned session, const Client::message_ptr& message)
{
    if (session != fSession)
        return;
    fHeard = true;
    if (message->get_opcode() != websocketpp::frame::opcode::text) {
        fStatus.binaryMessage();
        return;
    }
    handleText(message->get_payload());
}

void ServiceSource::Link::handleText(const std::string& text)
{
    ParsedMessage parsed = parseMessage(text);
    switch (parsed.kind) {
    case ParsedMessage::kFrame: {
        goLive("");
        fStatus.healthy();
        setConnected(true);
        SourceEvent event;
        event.kind = SourceEvent::kFrame;
        event.frame = std::move(parsed.frame);
        fQueue.push(std::move(event));
        break;
    }
    case ParsedMessage::kDeviceEvent:
        goLive("");
        fStatus.healthy();
        setConnected(parsed.streaming);
        break;
    case ParsedMessage::kForeign: // not the service's: nothing to hand on
        break;
    case ParsedMessage::kOther:
        if (fPhase == Phase::kGreeting)
            handleGreeting(text);
        break;
    case ParsedMessage::kError:
        fStatus.badMessage(parsed.error);
        break;
    }
}

void ServiceSource::Link::handleGreeting(const std::string& text)
{
    // The parser has already checked the text: well-formed, of bounded size and nesting.
    const nlohmann::json greeting = nlohmann::json::parse(text, nullptr, false);
    if (!greeting.is_object())
        return;
    const auto version = greeting.find("version");
    if (version == greeting.end())
        return;
    std::string serviceVersion;
    if (const auto service = greeting.find("serviceVersion");
        service != greeting.end() && service->is_string())
        serviceVersion = service->get<std::string>();
    goLive(serviceVersion);
    if (!version->is_number_integer() || version->get<long long>() != kProtocolVersion)
        fStatus.otherVersion(version->dump(), kProtocolVersion);
    // A failed send shows up as the connection closing.
    if (!fConnection->send(std::string(kBackgroundRequest), websocketpp::frame::opcode::text))
        fConnection->send(std::string(kFocusedRequest), websocketpp::frame::opcode::text);
    fHeard = false; // from now on only frames and pongs prove the peer alive
}

void ServiceSource::Link::goLive(const std::string& serviceVersion)
{
    if (fPhase == Phase::kLive)
        return;
    fPhase = Phase::kLive;
    fPhaseSince = Clock::now();
    fStatus.found(serviceVersion);
}

void ServiceSource::Link::setConnected(bool connected)
{
    if (connected == fConnected)
        return;
    fConnected = connected;
    SourceEvent event;
    event.kind = connected ? SourceEvent::kConnect : SourceEvent::kDisconnect;
    fQueue.push(std::move(event));
}

void ServiceSource::Link::onPongTimeout(unsigned session)
{
    if (session != fSession)
        return;
    fStatus.silent();
    abandon();
}

void ServiceSource::Link::scheduleWatch()
{
    fWatchTimer.expires_after(std::chrono::milliseconds(fOptions.quietMs));
    fWatchTimer.async_wait([this](const std::error_code& error) { onWatch(error); });
}

void ServiceSource::Link::onWatch(const std::error_code& error)
{
    if (error || (fPhase != Phase::kGreeting && fPhase != Phase::kLive))
        return;
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - fPhaseSince).count();
    if (fPhase == Phase::kGreeting && elapsedMs >= fOptions.answerMs) {
        fStatus.noGreeting();
        abandon();
        return;
    }
    if (fHeard) {
        if (fPhase == Phase::kLive && elapsedMs >= kHealthyAfterMs)
            fStatus.healthy();
    } else if (!fPinged) {
        websocketpp::lib::error_code pingError;
        fConnection->ping("", pingError);
        fPinged = !pingError;
    }
    fHeard = false;
    scheduleWatch();
}

void ServiceSource::Link::abandon()
{
    Client::connection_ptr connection = fConnection;
    endSession();
    // Its remaining callbacks belong to an old session and are ignored; the closing handshake
    // is bounded by answerMs.
    websocketpp::lib::error_code error;
    connection->close(websocketpp::close::status::going_away, "", error);
    if (error)
        connection->terminate(error);
}

void ServiceSource::Link::endSession()
{
    ++fSession;
    fConnection.reset();
    fPhase = Phase::kWaiting;
    fWatchTimer.cancel();
    setConnected(false);
    scheduleRetry();
}

void ServiceSource::Link::scheduleRetry()
{
    fRetryTimer.expires_after(std::chrono::milliseconds(fOptions.reconnectMs));
    fRetryTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            connect();
    });
}

bool ServiceSource::isUsableUrl(const std::string& url, std::string& why)
{
    const websocketpp::uri uri(url);
    if (!uri.get_valid() || uri.get_host().empty()) {
        why = "not an address of the form ws://HOST:PORT/PATH";
        return false;
    }
    if (uri.get_scheme() != "ws") {
        why = "only ws:// addresses are served";
        return false;
    }
    return true;
}

ServiceSource::ServiceSource(Options options) : fLink(std::make_unique<Link>(std::move(options))) {}

ServiceSource::~ServiceSource() = default;

bool ServiceSource::next(SourceEvent& event)
{
    return fLink->next(event);
}

void ServiceSource::stop()
{
    fLink->stop();
}

} // namespace Leap
