#include "tracking/TestSupport.h"

#include <nlohmann/json.hpp>

namespace trackingtest {

// Here, not in the header: each test that includes it would compile the JSON parser again.
void RecordingListener::onMessage(const Leap::Controller& controller, const std::string& line)
{
    const nlohmann::json* parsed = controller.message();
    const bool same = parsed && *parsed == nlohmann::json::parse(line, nullptr, false);
    const std::string seen = same ? line : "unparsed " + line;
    record(seen, seen);
}

} // namespace trackingtest
