#pragma once

#include <bitset>
#include <string>

#include "tracking/ReportSink.h"

namespace Leap {

// Decides which status lines of the tracking-service link reach the player. Each kind of trouble
// is reported once until the link has proved healthy again, so a service that stays away, or a
// peer that fails the same way on every attempt, costs one line rather than one per attempt.
// Message-level trouble (a bad message inside a working session) is reported once per session
// that was announced as found. The sentences name the service's address and, where the link
// tries again, the pause between attempts. Not thread-safe: the link's own thread owns it.
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

    // url: the service's address; reconnectMs: pause between attempts, milliseconds.
    ServiceStatus(ReportSink sink, std::string url, int reconnectMs);

    // Writes the line unless this kind was reported since the link was last healthy.
    // Returns whether it was written. A "found" line held back this way is written once the
    // session proves healthy, so the last line always tells how things stand.
    bool report(Kind kind, const std::string& line);
    // A frame or device event arrived, or a greeted connection stayed up for a while.
    void healthy();

    // The sentences, each of its kind. `reason` is what the network library or the parser said.
    void unreachable(const std::string& reason); // kMissing: the address cannot be used now
    void missing(const std::string& reason);     // kMissing: nothing accepts the connection
    void notAService(const std::string& reason); // kHandshake: no WebSocket handshake
    void noGreeting();                           // kHandshake: no version greeting in time
    void rejected(int protocolVersion);          // kRejected
    void silent();                               // kSilent
    void brokeProtocol(const std::string& reason, int closeCode); // kProtocol
    void linkFailed(const std::string& what);                     // kProtocol: unexpected
    void lost(const std::string& reason);                         // kLost
    void found(const std::string& serviceVersion);                // kFound; version may be empty
    void binaryMessage();                                         // kBinary
    void badMessage(const std::string& firstError);               // kBadMessage
    void otherVersion(const std::string& theirs, int ours);       // kVersion

private:
    static bool isMessageLevel(Kind kind) { return kind >= kBadMessage; }

    std::string retrying() const;

    ReportSink fSink;
    const std::string fUrl;
    const std::string fRetryPause; // "0.5 s"
    std::bitset<kKindCount> fReported;
    std::string fHeldFound; // a "found" line not yet written for the current session
};

} // namespace Leap
