#include "ServiceStatus.h"

#include <utility>

namespace Leap {

ServiceStatus::ServiceStatus(ReportSink sink) : fSink(std::move(sink)) {}

bool ServiceStatus::report(Kind kind, const std::string& line)
{
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
}

} // namespace Leap
