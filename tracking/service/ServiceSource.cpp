#include "tracking/service/ServiceSource.h"

// asio's atomic fences are invisible to ThreadSanitizer, which warns about each one it compiles;
// the hand-offs this file relies on go through mutexes and the io_context, which it does see.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#endif

#include <utility>

#include <websocketpp/uri.hpp>

#include "tracking/service/ServiceLink.h"

namespace Leap {

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

ServiceSource::ServiceSource(Options options)
    : fLink(std::make_unique<ServiceLink>(std::move(options)))
{
}

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
