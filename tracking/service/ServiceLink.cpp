// asio's atomic fences are invisible to ThreadSanitizer, which warns about each one it compiles;
// the hand-offs this file relies on go through mutexes and the io_context, which it does see.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include "tracking/service/ServiceLink.h"

#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

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

// Close codes we send when the peer's data breaks the protocol.
bool brokeProtocol(websocketpp::close::status::value code)
{
    namespace status = websocketpp::close::status;
    return code == status::protocol_error || code == status::unsupported_data ||
           code == status::invalid_payload || code == status::policy_violation ||
           code == status::message_too_big;
}

} // namespace

ServiceLink::ServiceLink(ServiceSource::Options options)
    : fOptions(std::move(options)), fQueue(fOptions.maxQueuedFrames),
      fStatus(fOptions.report, fOptions.url, fOptions.reconnectMs), fRetryTimer(fIo),
      fWatchTimer(fIo)
{
    fClient.init_asio(&fIo);
    fThread = std::thread(&ServiceLink::run, this);
}

ServiceLink::~ServiceLink()
{
    stop();
    fConnection.reset();
}

void ServiceLink::stop()
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

void ServiceLink::run()
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

void ServiceLink::connect()
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

void ServiceLink::onOpen(unsigned session)
{
    if (session != fSession)
        return;
    fPhase = Phase::kGreeting;
    fPhaseSince = Clock::now();
    fHeard = false;
    fPinged = false;
    scheduleWatch();
}

void ServiceLink::onFail(unsigned session)
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

void ServiceLink::onClose(unsigned session)
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

void ServiceLink::onMessage(unsigned session, const Client::message_ptr& message)
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

void ServiceLink::handleText(const std::string& text)
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

void ServiceLink::handleGreeting(const std::string& text)
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

void ServiceLink::goLive(const std::string& serviceVersion)
{
    if (fPhase == Phase::kLive)
        return;
    fPhase = Phase::kLive;
    fPhaseSince = Clock::now();
    fStatus.found(serviceVersion);
}

void ServiceLink::setConnected(bool connected)
{
    if (connected == fConnected)
        return;
    fConnected = connected;
    SourceEvent event;
    event.kind = connected ? SourceEvent::kConnect : SourceEvent::kDisconnect;
    fQueue.push(std::move(event));
}

void ServiceLink::onPongTimeout(unsigned session)
{
    if (session != fSession)
        return;
    fStatus.silent();
    abandon();
}

void ServiceLink::scheduleWatch()
{
    fWatchTimer.expires_after(std::chrono::milliseconds(fOptions.quietMs));
    fWatchTimer.async_wait([this](const std::error_code& error) { onWatch(error); });
}

void ServiceLink::onWatch(const std::error_code& error)
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

void ServiceLink::abandon()
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

void ServiceLink::endSession()
{
    ++fSession;
    fConnection.reset();
    fPhase = Phase::kWaiting;
    fWatchTimer.cancel();
    setConnected(false);
    scheduleRetry();
}

void ServiceLink::scheduleRetry()
{
    fRetryTimer.expires_after(std::chrono::milliseconds(fOptions.reconnectMs));
    fRetryTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            connect();
    });
}

} // namespace Leap
