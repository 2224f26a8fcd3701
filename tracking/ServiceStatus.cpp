#include "ServiceStatus.h"

#include <utility>

namespace Leap {

ServiceStatus::ServiceStatus(ReportSink sink) : fSink(std::move(sink)) {}

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

} // namespace Leap
