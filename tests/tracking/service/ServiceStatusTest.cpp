#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tracking/service/ServiceStatus.h"

namespace {

using Leap::ServiceStatus;

struct Printed {
    std::vector<std::string> lines;
    ServiceStatus status{[this](const std::string& line) { lines.push_back(line); }, "ws://x", 500};
};

TEST(ServiceStatus, APeerFailingTheSameWayOnEveryAttemptIsReportedOnce)
{
    // Greets, then sends garbage and goes: never healthy.
    Printed flaky;
    for (int attempt = 0; attempt < 5; ++attempt) {
        flaky.status.report(ServiceStatus::kFound, "found");
        flaky.status.report(ServiceStatus::kBadMessage, "bad");
        flaky.status.report(ServiceStatus::kLost, "lost");
    }
    EXPECT_EQ(flaky.lines, (std::vector<std::string>{"found", "bad", "lost"}));
    // Then it works: the held-back "found" comes once the session proves healthy.
    flaky.status.report(ServiceStatus::kFound, "found again");
    EXPECT_EQ(flaky.lines.back(), "lost");
    flaky.status.healthy();
    flaky.status.healthy();
    EXPECT_EQ(flaky.lines, (std::vector<std::string>{"found", "bad", "lost", "found again"}));

    Printed refusing;
    for (int attempt = 0; attempt < 5; ++attempt)
        refusing.status.report(ServiceStatus::kRejected, "1001");
    refusing.status.report(ServiceStatus::kFound, "found");
    EXPECT_EQ(refusing.lines, (std::vector<std::string>{"1001", "found"}));
}

TEST(ServiceStatus, BadMessagesInAHealthySessionAreReportedOncePerSession)
{
    Printed out;
    out.status.report(ServiceStatus::kFound, "found");
    for (int message = 0; message < 5; ++message) {
        out.status.report(ServiceStatus::kBadMessage, "bad");
        out.status.healthy(); // good frames in between
    }
    out.status.report(ServiceStatus::kLost, "lost");
    out.status.report(ServiceStatus::kFound, "found");
    out.status.report(ServiceStatus::kBadMessage, "bad");
    EXPECT_EQ(out.lines, (std::vector<std::string>{"found", "bad", "lost", "found", "bad"}));
}

} // namespace
