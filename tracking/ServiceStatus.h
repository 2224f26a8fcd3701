#pragma once

#include <bitset>
#include <string>

#include "ReportSink.h"

namespace Leap {

// Decides which status lines of the tracking-service link reach the player. Each kind of trouble
// is reported once until the link has proved healthy again, so a service that stays away, or a
// peer that fails the same way on every attempt, costs one line rather than one per attempt.
// Message-level trouble (a bad message inside a working session) is reported once per session
// that was announced as found. Not thread-safe: the link's own thread owns it.
class ServiceStatus {
public:
    enum Kind {
        // Link level: cleared by healthy().
        kMissing,   // nothing accepts the connection
        kFound,     // the service greeted us
        kLost,      // a working connection ended; implies kMissing until healthy again
        kRejected,  // closed with 1001: protocol version not supported
        kHandshake, // something answers, but not with the WebSocket handshake
        kSilent,    // the peer stopped answering
        kProtocol,  // the peer broke the WebSocket protocol (oversized message, bad framing, ...)
        // Message level: cleared when a session is announced as found.
        kBadMessage, // a text message that is neither frame nor device event
        kBinary,     // a binary message
        kVersion,    // a greeting with another protocol version than ours
        kKindCount
    };

    explicit ServiceStatus(ReportSink sink);

    // Writes the line unless this kind was reported since the link was last healthy.
    // Returns whether it was written. A "found" line held back this way is written once the
    // session proves healthy, so the last line always tells how things stand.
    bool report(Kind kind, const std::string& line);
    // A frame or device event arrived, or a greeted connection stayed up for a while.
    void healthy();

private:
    static bool isMessageLevel(Kind kind) { return kind >= kBadMessage; }

    ReportSink fSink;
    std::bitset<kKindCount> fReported;
    std::string fHeldFound; // a "found" line not yet written for the current session
};

} // namespace Leap
