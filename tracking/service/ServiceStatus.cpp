#include "tracking/service/ServiceStatus.h"

#include <utility>

namespace Leap {

namespace {

// "0.5 s", "2 s", "1.25 s"
std::string secondsText(int milliseconds)
{
    std::string text = std::to_string(milliseconds / 1000);
    const int rest = milliseconds % 1000;
    if (rest != 0) {
        std::string fraction = std::to_string(1000 + rest).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace

ServiceStatus::ServiceStatus(ReportSink sink, std::string url, int reconnectMs)
    : fSink(std::move(sink)), fUrl(std::move(url)), fRetryPause(secondsText(reconnectMs))
{
}

bool ServiceStatus::report(Kind kind, const std::string& line)
{
    if (kind == kFound && fReported.test(kind)) {
        fHeldFound = line;
        return false;
    }
    if (!isMessageLevel(kind))
        fHeldFound.clear(); // the session it belonged to is over
    if (fReported.test(kind))
        return false;
    fReported.set(kind);
    if (kind == kLost)
        fReported.set(kMissing); // "lost" already says the service is away
    if (kind == kFound) {
        for (int k = kBadMessage; k < kKindCount; ++k)
            fReported.reset(static_cast<Kind>(k));
    }
    if (fSink)
        fSink(line);
    return true;
}

void ServiceStatus::healthy()
{
    for (int k = 0; k < kKindCount; ++k) {
        if (!isMessageLevel(static_cast<Kind>(k)))
            fReported.reset(static_cast<Kind>(k));
    }
    if (!fHeldFound.empty()) {
        const std::string line = std::move(fHeldFound);
        fHeldFound.clear();
        report(kFound, line);
    }
}

std::string ServiceStatus::retrying() const
{
    return "; trying again every " + fRetryPause;
}

void ServiceStatus::unreachable(const std::string& reason)
{
    report(kMissing, "tracking: cannot reach the tracking service at " + fUrl + " (" + reason +
                         ")" + retrying());
}

void ServiceStatus::missing(const std::string& reason)
{
    report(kMissing, "tracking: no tracking service at " + fUrl + " (" + reason + ")" + retrying());
}

void ServiceStatus::notAService(const std::string& reason)
{
    report(kHandshake, "tracking: the peer at " + fUrl +
                           " does not answer as a tracking service (" + reason + ")" + retrying());
}

void ServiceStatus::noGreeting()
{
    report(kHandshake,
           "tracking: the peer at " + fUrl + " sends no tracking service greeting" + retrying());
}

void ServiceStatus::rejected(int protocolVersion)
{
    report(kRejected, "tracking: the tracking service at " + fUrl +
                          " closed the connection with code 1001: it does not serve protocol "
                          "version " +
                          std::to_string(protocolVersion) + retrying());
}

void ServiceStatus::silent()
{
    report(kSilent,
           "tracking: the tracking service at " + fUrl + " stopped answering" + retrying());
}

void ServiceStatus::brokeProtocol(const std::string& reason, int closeCode)
{
    report(kProtocol, "tracking: the tracking service at " + fUrl + " broke the protocol (" +
                          reason + ", code " + std::to_string(closeCode) + ")" + retrying());
}

void ServiceStatus::linkFailed(const std::string& what)
{
    report(kProtocol,
           "tracking: tracking service link at " + fUrl + " failed (" + what + ")" + retrying());
}

void ServiceStatus::lost(const std::string& reason)
{
    report(kLost,
           "tracking: lost the tracking service at " + fUrl + " (" + reason + ")" + retrying());
}

void ServiceStatus::found(const std::string& serviceVersion)
{
    report(kFound,
           "tracking: connected to the tracking service at " + fUrl +
               (serviceVersion.empty() ? std::string() : " (service " + serviceVersion + ")"));
}

void ServiceStatus::binaryMessage()
{
    report(kBinary, "tracking: ignoring binary messages from the tracking service at " + fUrl);
}

void ServiceStatus::badMessage(const std::string& firstError)
{
    report(kBadMessage, "tracking: ignoring messages from the tracking service at " + fUrl +
                            " that are not frames; the first: " + firstError);
}

void ServiceStatus::otherVersion(const std::string& theirs, int ours)
{
    report(kVersion, "tracking: the tracking service at " + fUrl + " speaks protocol version " +
                         theirs + "; Quorvel reads version " + std::to_string(ours));
}

} // namespace Leap
