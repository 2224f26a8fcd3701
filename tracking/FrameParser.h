#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "tracking/Leap.h"

// The tracking service's public JSON protocol, version 6: one message in, one frame, device event
// or error out. Used by every source that reads that protocol (recorded files, the service).
namespace Leap {

struct ParsedMessage {
    enum Kind {
        kFrame,       // `frame` holds the frame
        kDeviceEvent, // `streaming` true: the device delivers frames (connected); false: it does
                      // not
        kOther,       // well formed, but neither: the service's version greeting, other event types
        kForeign,     // an object of no part of the protocol, another program's line; `text` holds
                      // it whole, `object` parsed, and `timestamp` its "timestamp" when `timed`
        kError        // `error` says what is wrong, in a few words
    };
    Kind kind = kError;
    Frame frame;
    std::string text;
    std::shared_ptr<const nlohmann::json> object;
    bool timed = false;
    std::int64_t timestamp = 0; // microseconds, on the frames' clock
    bool attached = false;
    bool streaming = false;
    std::string error;
};

// Limits on one message; anything beyond is an error, not a resource problem.
constexpr std::size_t kMaxMessageBytes = 256 * 1024;
constexpr int kMaxMessageNesting = 32;
// The service reports every hand in its view, the player's and any other reaching in: a message
// may carry more than the camera tracks (CameraView::kMaxHands), and more than this is no frame.
constexpr std::size_t kMaxMessageHands = 8;
constexpr std::size_t kMaxPointables = 40;

// A frame is {"id": N, "timestamp": MICROSECONDS, "hands": [{"id": H, ...}],
// "pointables": [{"id": F, "handId": H, "tipPosition": [x, y, z], ...}]}: the fingers of hand H
// are the pointables whose handId is H, in the order they appear; pointables of no listed hand
// are ignored, as are unknown fields. Positions in mm must be finite, or the frame is an error.
// A device event is {"event": {"type": "deviceEvent", "state": {"attached": B, "streaming": B}}}.
// An object with none of "id", "hands", "pointables" and "event" is foreign. Never throws.
ParsedMessage parseMessage(std::string_view text);

} // namespace Leap
