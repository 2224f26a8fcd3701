#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "service/EventLog.h"
#include "service/FakeService.h"
#include "tracking/Leap.h"
#include "tracking/service/ServiceSource.h"

namespace servicetest {
namespace {

using Leap::ServiceSource;

// A controller fed by the live source, retrying quickly. Tests of silent peers shorten answerMs;
// the others leave the fake service time to answer on a loaded machine.
struct Client {
    explicit Client(const std::string& url, int reconnectMs = 100,
                    std::size_t maxQueuedFrames = 1000, int answerMs = 2000)
    {
        ServiceSource::Options options;
        options.url = url;
        options.reconnectMs = reconnectMs;
        options.quietMs = 200;
        options.answerMs = answerMs;
        options.maxQueuedFrames = maxQueuedFrames;
        options.report = reports.sink();
        controller =
            std::make_unique<Leap::Controller>(&log, std::make_unique<ServiceSource>(options));
    }

    EventLog log;
    Reports reports;
    std::unique_ptr<Leap::Controller> controller; // last: stopped before the log goes
};

std::size_t requests(const std::vector<std::string>& log)
{
    std::size_t count = 0;
    for (const std::string& entry : log)
        count += entry.rfind("request ", 0) == 0 ? 1 : 0;
    return count;
}

// Both requests of a connection.
bool hasRequests(const std::vector<std::string>& log)
{
    return requests(log) >= 2;
}

TEST(ServiceHandshake, AsksForVersion6AndSendsBothRequestsExactlyAfterTheGreeting)
{
    FakeService::Behaviour slowGreeting;
    slowGreeting.greetingDelayMs = 300;
    FakeService service(slowGreeting);
    Client client(service.url());

    ASSERT_TRUE(service.waitFor(hasRequests));
    const std::vector<std::string> expected = {
        "open /v6.json", "greeting", "request {\"background\":true}", "request {\"focused\":true}"};
    EXPECT_EQ(service.log(), expected);
    // The default asks the service on this machine, and nowhere else.
    EXPECT_STREQ(Leap::kDefaultServiceUrl, "ws://127.0.0.1:6437/v6.json");
}

TEST(ServiceHandshake, WithoutAGreetingNothingIsRequestedAndTheClientTriesAgain)
{
    FakeService::Behaviour silent;
    silent.greeting = "";
    FakeService service(silent);
    Client client(service.url(), 100, 1000, 500);

    ASSERT_TRUE(service.waitForOpened(2));
    for (const std::string& entry : service.log())
        EXPECT_EQ(entry.rfind("request", 0), std::string::npos) << entry;
    EXPECT_EQ(client.reports.countContaining("greeting"), 1u);
}

TEST(ServiceEvents, DeviceEventsAndFramesReachTheListenerInOrder)
{
    FakeService service;
    Client client(service.url());
    ASSERT_TRUE(service.waitFor(hasRequests));

    service.sendText(deviceEvent(true));
    service.sendText(frameMessage(101, {{7, -12.5, 201.25, -3.0}}));
    service.sendText(frameMessage(102, {{7, -10.125, 200.0, -4.5}, {8, 33.3, 180.0, 12.0}}));
    service.sendText(frameMessage(103, {}));
    service.sendText(deviceEvent(false));
    ASSERT_TRUE(client.log.waitForLast("disconnect"));

    const std::vector<std::string> expected = {
        "init",
        "connect",
        "frame 101: 7@(-12.5,201.25,-3)",
        "frame 102: 7@(-10.125,200,-4.5) 8@(33.299999999999997,180,12)",
        "frame 103:",
        "disconnect"};
    EXPECT_EQ(client.log.lines(), expected);
}

TEST(ServiceEvents, AServiceWithoutDeviceEventsConnectsAtItsFirstFrame)
{
    FakeService service;
    Client client(service.url());
    ASSERT_TRUE(service.waitFor(hasRequests));
    // The link runs on a thread of its own: the requests may arrive before the listener's init.
    ASSERT_TRUE(client.log.waitForLast("init"));
    EXPECT_EQ(client.log.lines(), std::vector<std::string>{"init"});

    service.sendText(frameMessage(1, {{3, 0, 250, 0}}));
    service.sendText(frameMessage(2, {{3, 1, 250, 0}}));
    ASSERT_TRUE(client.log.waitForLast("frame 2: 3@(1,250,0)"));
    const std::vector<std::string> expected = {"init", "connect", "frame 1: 3@(0,250,0)",
                                               "frame 2: 3@(1,250,0)"};
    EXPECT_EQ(client.log.lines(), expected);
}

TEST(ServiceEvents, ASlowListenerGetsTheNewestFramesAndEveryStateChange)
{
    FakeService service;
    Client client(service.url(), 100, 4);
    std::atomic<bool> release{false};
    client.log.fBeforeFrame = [&] {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_TRUE(service.waitFor(hasRequests));

    service.sendText(deviceEvent(true));
    for (int id = 1; id <= 50; ++id)
        service.sendText(frameMessage(id, {{1, double(id), 200, -5}}));
    service.sendText(deviceEvent(false));
    // Give the link time to queue everything while the listener is held up.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    release = true;
    ASSERT_TRUE(client.log.waitForLast("disconnect"));

    const std::vector<std::string> lines = client.log.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "connect");
    EXPECT_EQ(lines[lines.size() - 2], "frame 50: 1@(50,200,-5)");
    EXPECT_LT(lines.size(), 50u) << "frames waiting for a slow listener are bounded";
    long long previous = 0;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        const long long id = std::stoll(lines[i].substr(6));
        EXPECT_GT(id, previous) << "frames stay in order";
        previous = id;
    }
}

TEST(ServiceLink, MissingServiceIsReportedOnceAndFoundWhenItAppears)
{
    const unsigned short port = freeLoopbackPort();
    Client client("ws://127.0.0.1:" + std::to_string(port) + "/v6.json");
    // Several attempts at 100 ms.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(client.reports.lines().size(), 1u);
    EXPECT_EQ(client.reports.countContaining("no tracking service"), 1u);

    FakeService service(port);
    ASSERT_TRUE(service.waitFor(hasRequests));
    service.sendText(frameMessage(1, {}));
    ASSERT_TRUE(client.log.waitForLast("frame 1:"));
    ASSERT_EQ(client.reports.lines().size(), 2u);
    EXPECT_NE(client.reports.lines()[1].find("connected to the tracking service"),
              std::string::npos);
    EXPECT_NE(client.reports.lines()[1].find("2.3.1+33747"), std::string::npos);
}

TEST(ServiceLink, AServiceThatStopsAndStartsAgainIsReconnectedWithinASecond)
{
    auto service = std::make_unique<FakeService>();
    const unsigned short port = service->port();
    Client client(service->url(), 500);
    ASSERT_TRUE(service->waitFor(hasRequests));
    service->sendText(frameMessage(1, {{4, 10, 200, -1}}));
    ASSERT_TRUE(client.log.waitForLast("frame 1: 4@(10,200,-1)"));

    service.reset();
    ASSERT_TRUE(client.log.waitForLast("disconnect"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // a few failed attempts

    const auto restarted = std::chrono::steady_clock::now();
    service = std::make_unique<FakeService>(port);
    ASSERT_TRUE(service->waitFor(hasRequests, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::steady_clock::now() - restarted, std::chrono::seconds(1));
    service->sendText(frameMessage(2, {{4, 11, 200, -1}}));
    ASSERT_TRUE(client.log.waitForLast("frame 2: 4@(11,200,-1)"));

    const std::vector<std::string> expected = {"init",       "connect", "frame 1: 4@(10,200,-1)",
                                               "disconnect", "connect", "frame 2: 4@(11,200,-1)"};
    EXPECT_EQ(client.log.lines(), expected);
    // Found, lost, found: nothing for the failed attempts in between.
    const std::vector<std::string> reports = client.reports.lines();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].find("connected"), std::string::npos);
    EXPECT_NE(reports[1].find("lost"), std::string::npos);
    EXPECT_NE(reports[2].find("connected"), std::string::npos);
}

TEST(ServiceLink, ACloseWith1001IsReportedOnceAndRetried)
{
    FakeService::Behaviour refusing;
    refusing.closeOnOpenCode = 1001;
    FakeService service(refusing);
    Client client(service.url());

    ASSERT_TRUE(service.waitForOpened(4));
    EXPECT_EQ(client.reports.lines().size(), 1u);
    EXPECT_EQ(client.reports.countContaining("1001"), 1u);
    EXPECT_EQ(client.log.lines(), std::vector<std::string>{"init"});
}

// Hostile peers: reported, never a crash, and the client recovers once a good service is back.

TEST(ServiceHostile, GarbageAndHalfFramesAreReportedOnceAndSkipped)
{
    FakeService service;
    Client client(service.url());
    ASSERT_TRUE(service.waitFor(hasRequests));

    service.sendText("this is not json");
    service.sendText(R"({"id":1,"timestamp":)");
    service.sendText(R"([1,2,3])");
    service.sendText(std::string(100, '['));
    service.sendText(
        R"({"id":2,"timestamp":1,"hands":[{"id":1}],"pointables":[{"id":1,"handId":1,"tipPosition":[1,2]}]})");
    service.sendText(frameMessage(3, {{1, 1, 2, 3}}));
    ASSERT_TRUE(client.log.waitForLast("frame 3: 1@(1,2,3)"));
    EXPECT_EQ(client.reports.countContaining("not frames"), 1u);
    EXPECT_EQ(service.opened(), 1u) << "a bad message does not cost the connection";
}

TEST(ServiceHostile, BinaryMessagesAreIgnored)
{
    FakeService service;
    Client client(service.url());
    ASSERT_TRUE(service.waitFor(hasRequests));

    service.sendBinary(std::string("\x00\x01\xff", 3));
    service.sendBinary(frameMessage(1, {{1, 1, 2, 3}}));
    service.sendText(frameMessage(2, {{1, 1, 2, 3}}));
    ASSERT_TRUE(client.log.waitForLast("frame 2: 1@(1,2,3)"));
    EXPECT_EQ(client.log.count("frame 1: 1@(1,2,3)"), 0u);
    EXPECT_EQ(client.reports.countContaining("binary"), 1u);
}

TEST(ServiceHostile, ATenMegabyteMessageEndsTheConnectionNotTheClient)
{
    FakeService service;
    // The fake takes its time over 10 MB (under a sanitizer, seconds) and answers no ping
    // meanwhile: patience, so that what is reported is the size.
    Client client(service.url(), 100, 1000, 10000);
    ASSERT_TRUE(service.waitFor(hasRequests));
    service.sendText(frameMessage(1, {}));
    ASSERT_TRUE(client.log.waitForLast("frame 1:"));

    std::string huge = "{\"id\":2,\"timestamp\":0,\"hands\":[],\"pointables\":[],\"pad\":\"";
    huge += std::string(10 * 1024 * 1024, 'x') + "\"}";
    service.sendText(huge);
    ASSERT_TRUE(client.log.waitForLast("disconnect"));
    ASSERT_TRUE(service.waitForOpened(2));
    ASSERT_TRUE(
        service.waitFor([](const std::vector<std::string>& log) { return requests(log) >= 4; }));
    service.sendText(frameMessage(3, {}));
    ASSERT_TRUE(client.log.waitForLast("frame 3:"));
    EXPECT_EQ(client.log.count("frame 2:"), 0u);
    EXPECT_EQ(client.reports.countContaining("broke the protocol"), 1u)
        << testing::PrintToString(client.reports.lines());
}

struct HostileScript {
    const char* name;
    RawPeer::Script script;
    const char* reported; // part of the one line the client reports
};

class ServiceHostilePeer : public testing::TestWithParam<HostileScript> {};

TEST_P(ServiceHostilePeer, IsReportedOnceAndTheClientRecoversWhenAGoodServiceReturns)
{
    auto peer = std::make_unique<RawPeer>(GetParam().script);
    const unsigned short port = peer->port();
    Client client(peer->url(), 100, 1000, 500);
    // Long enough for a silent peer to be found out (quiet 200 ms, then 500 ms for a pong).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (client.reports.countContaining(GetParam().reported) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(client.reports.countContaining(GetParam().reported), 1u);
    peer.reset();

    FakeService service(port);
    ASSERT_TRUE(service.waitFor(hasRequests));
    service.sendText(frameMessage(1, {{2, 5, 6, 7}}));
    ASSERT_TRUE(client.log.waitForLast("frame 1: 2@(5,6,7)"));
}

const std::string kGreetingFrame =
    RawPeer::frameHeader(true, sizeof kGreeting - 1) + std::string(kGreeting);

INSTANTIATE_TEST_SUITE_P(
    Peers, ServiceHostilePeer,
    testing::Values(
        HostileScript{
            "GarbageInsteadOfAHandshake",
            [](RawPeer&, int fd) { RawPeer::sendAll(fd, "\x16\x03\x01 garbage\r\n\r\n"); },
            "does not answer as a tracking service"},
        HostileScript{"HalfAFrameThenGone",
                      [](RawPeer&, int fd) {
                          RawPeer::acceptHandshake(fd);
                          RawPeer::sendAll(fd, kGreetingFrame + RawPeer::frameHeader(true, 100) +
                                                   "{\"id\":1,");
                      },
                      "lost the tracking service"},
        HostileScript{"StopsAnsweringMidMessage",
                      [](RawPeer& peer, int fd) {
                          RawPeer::acceptHandshake(fd);
                          RawPeer::sendAll(fd, kGreetingFrame + RawPeer::frameHeader(true, 100) +
                                                   "{\"id\":1,");
                          while (!peer.stopping())
                              std::this_thread::sleep_for(std::chrono::milliseconds(10));
                      },
                      "stopped answering"},
        HostileScript{"AcceptsAndSaysNothing",
                      [](RawPeer& peer, int) {
                          while (!peer.stopping())
                              std::this_thread::sleep_for(std::chrono::milliseconds(10));
                      },
                      "does not answer as a tracking service"}),
    [](const testing::TestParamInfo<HostileScript>& info) { return info.param.name; });

TEST(ServiceLink, StopReturnsPromptlyWhateverTheLinkIsDoing)
{
    // Mid-message with a silent peer, and mid-attempt against a closed port.
    RawPeer stalled([](RawPeer& peer, int fd) {
        RawPeer::acceptHandshake(fd);
        RawPeer::sendAll(fd, kGreetingFrame + RawPeer::frameHeader(true, 1000) + "{");
        while (!peer.stopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    for (const std::string& url :
         {stalled.url(), "ws://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/v6.json"}) {
        ServiceSource::Options options;
        options.url = url;
        options.report = nullptr;
        auto controller =
            std::make_unique<Leap::Controller>(nullptr, std::make_unique<ServiceSource>(options));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto stopping = std::chrono::steady_clock::now();
        controller.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(1)) << url;
    }
}

TEST(ServiceLink, OnlyWebSocketAddressesWithAHostAreUsable)
{
    std::string why;
    EXPECT_TRUE(ServiceSource::isUsableUrl("ws://127.0.0.1:6437/v6.json", why));
    EXPECT_TRUE(ServiceSource::isUsableUrl("ws://[::1]:6437/v6.json", why));
    EXPECT_TRUE(ServiceSource::isUsableUrl("ws://tracker.local:7000/v6.json", why));
    for (const char* bad : {"wss://127.0.0.1:6437/v6.json", "http://127.0.0.1:6437/v6.json",
                            "ws://", "127.0.0.1:6437", "ws://127.0.0.1:99999/v6.json", ""}) {
        why.clear();
        EXPECT_FALSE(ServiceSource::isUsableUrl(bad, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

} // namespace
} // namespace servicetest
