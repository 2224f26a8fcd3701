// asio's atomic fences are invisible to ThreadSanitizer, which warns about each one it compiles.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include "service/FakeService.h"

#include <cerrno>
#include <cstring>
#include <future>
#include <set>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <websocketpp/base64/base64.hpp>
#include <websocketpp/common/network.hpp>
#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/logger/stub.hpp>
#include <websocketpp/server.hpp>
#include <websocketpp/sha1/sha1.hpp>

namespace servicetest {

namespace {

// websocketpp works out the byte order lazily in a function-local static on its first 64-bit
// frame length. The client alone never races on it, but with a fake service in the same process
// two threads can get there first together; settle it before any thread starts.
const bool kByteOrderSettled = (websocketpp::lib::net::_htonll(1), true);

int listenOnLoopback(unsigned short port, unsigned short& bound)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}

std::string loopbackUrl(unsigned short port, const std::string& path)
{
    return "ws://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace

struct FakeService::Engine {
    struct Config : websocketpp::config::asio {
        typedef Config type;
        typedef websocketpp::log::stub elog_type;
        typedef websocketpp::log::stub alog_type;
        struct transport_config : websocketpp::config::asio::transport_config {
            typedef websocketpp::log::stub elog_type;
            typedef websocketpp::log::stub alog_type;
        };
        typedef websocketpp::transport::asio::endpoint<transport_config> transport_type;
    };
    using Server = websocketpp::server<Config>;

    asio::io_context io;
    Server server;
    std::set<websocketpp::connection_hdl, std::owner_less<websocketpp::connection_hdl>> open;
    std::vector<std::unique_ptr<asio::steady_timer>> timers; // server thread only
};

unsigned short freeLoopbackPort()
{
    unsigned short port = 0;
    ::close(listenOnLoopback(0, port));
    return port;
}

FakeService::FakeService(Behaviour behaviour, unsigned short port)
    : fBehaviour(std::move(behaviour)), fEngine(std::make_unique<Engine>())
{
    Engine::Server& server = fEngine->server;
    server.init_asio(&fEngine->io);
    server.set_reuse_addr(true);
    server.set_open_handler([this](websocketpp::connection_hdl hdl) { onOpen(hdl); });
    server.set_close_handler([this](websocketpp::connection_hdl hdl) {
        fEngine->open.erase(hdl);
        note("close");
    });
    server.set_message_handler(
        [this](websocketpp::connection_hdl, Engine::Server::message_ptr message) {
            note("request " + message->get_payload());
        });
    server.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    asio::error_code error;
    fPort = server.get_local_endpoint(error).port();
    server.start_accept();
    fThread = std::thread([this] { fEngine->io.run(); });
}

FakeService::~FakeService()
{
    // Dropping the connections without a closing handshake, as a crashing service would.
    fEngine->io.stop();
    fThread.join();
}

std::string FakeService::url(const std::string& path) const
{
    return loopbackUrl(fPort, path);
}

void FakeService::onOpen(std::weak_ptr<void> hdl)
{
    fEngine->open.insert(hdl);
    Engine::Server::connection_ptr connection = fEngine->server.get_con_from_hdl(hdl);
    note("open " + connection->get_resource());
    if (fBehaviour.closeOnOpenCode != 0) {
        connection->close(
            static_cast<websocketpp::close::status::value>(fBehaviour.closeOnOpenCode), "");
        return;
    }
    if (fBehaviour.greeting.empty())
        return;
    auto greet = [this, hdl] {
        websocketpp::lib::error_code error;
        fEngine->server.send(hdl, fBehaviour.greeting, websocketpp::frame::opcode::text, error);
        if (!error)
            note("greeting");
    };
    if (fBehaviour.greetingDelayMs == 0) {
        greet();
        return;
    }
    auto& timers = fEngine->timers;
    timers.push_back(std::make_unique<asio::steady_timer>(
        fEngine->io, std::chrono::milliseconds(fBehaviour.greetingDelayMs)));
    timers.back()->async_wait([greet](const std::error_code& error) {
        if (!error)
            greet();
    });
}

void FakeService::note(const std::string& entry)
{
    {
        std::lock_guard<std::mutex> guard(fLock);
        fLog.push_back(entry);
        if (entry.rfind("open ", 0) == 0)
            ++fOpened;
    }
    fChanged.notify_all();
}

void FakeService::send(const std::string& payload, bool binary)
{
    const auto opcode =
        binary ? websocketpp::frame::opcode::binary : websocketpp::frame::opcode::text;
    std::promise<void> sent;
    asio::post(fEngine->io, [&] {
        for (const auto& hdl : fEngine->open) {
            websocketpp::lib::error_code error;
            fEngine->server.send(hdl, payload, opcode, error);
        }
        sent.set_value();
    });
    sent.get_future().wait();
}

void FakeService::sendText(const std::string& text)
{
    send(text, false);
}

void FakeService::sendBinary(const std::string& bytes)
{
    send(bytes, true);
}

std::vector<std::string> FakeService::log() const
{
    std::lock_guard<std::mutex> guard(fLock);
    return fLog;
}

std::size_t FakeService::opened() const
{
    std::lock_guard<std::mutex> guard(fLock);
    return fOpened;
}

bool FakeService::waitFor(const std::function<bool(const std::vector<std::string>&)>& ready,
                          std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(fLock);
    return fChanged.wait_for(lock, timeout, [&] { return ready(fLog); });
}

bool FakeService::waitForOpened(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(fLock);
    return fChanged.wait_for(lock, timeout, [&] { return fOpened >= count; });
}

RawPeer::RawPeer(Script script, unsigned short port) : fScript(std::move(script))
{
    fListenFd = listenOnLoopback(port, fPort);
    fThread = std::thread([this] { run(); });
}

RawPeer::~RawPeer()
{
    fStopping = true;
    fThread.join();
    ::close(fListenFd);
}

std::string RawPeer::url() const
{
    return loopbackUrl(fPort, "/v6.json");
}

void RawPeer::run()
{
    while (!fStopping) {
        pollfd incoming{fListenFd, POLLIN, 0};
        if (::poll(&incoming, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(fListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++fAccepted;
        fScript(*this, fd);
        ::close(fd);
    }
}

std::string RawPeer::acceptHandshake(int fd)
{
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return "";
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string keyField = "Sec-WebSocket-Key: ";
    const std::size_t keyAt = request.find(keyField);
    if (keyAt == std::string::npos)
        return "";
    const std::size_t keyStart = keyAt + keyField.size();
    const std::string key = request.substr(keyStart, request.find("\r\n", keyStart) - keyStart) +
                            "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[20];
    websocketpp::sha1::calc(key.data(), key.size(), digest);
    sendAll(fd, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                    websocketpp::base64_encode(digest, sizeof digest) + "\r\n\r\n");
    return request.substr(0, request.find("\r\n"));
}

std::string RawPeer::frameHeader(bool text, std::uint64_t length)
{
    std::string header(1, static_cast<char>(text ? 0x81 : 0x82));
    if (length < 126) {
        header += static_cast<char>(length);
    } else if (length <= 0xffff) {
        header += static_cast<char>(126);
        header += static_cast<char>(length >> 8);
        header += static_cast<char>(length & 0xff);
    } else {
        header += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            header += static_cast<char>((length >> shift) & 0xff);
    }
    return header;
}

void RawPeer::sendAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        done += static_cast<std::size_t>(sent);
    }
}

} // namespace servicetest
