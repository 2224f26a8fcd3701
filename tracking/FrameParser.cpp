#include "tracking/FrameParser.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace Leap {

namespace {

using json = nlohmann::json;

ParsedMessage failure(std::string what)
{
    ParsedMessage result;
    result.kind = ParsedMessage::kError;
    result.error = std::move(what);
    return result;
}

// Depth of brackets outside strings, checked before parsing so that hostile nesting never
// reaches the parser or the recursive destruction of a parsed value.
bool nestingWithin(std::string_view text, int limit)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

bool readInteger(const json& object, const char* key, std::int64_t low, std::int64_t high,
                 std::int64_t& out)
{
    auto it = object.find(key);
    if (it == object.end())
        return false;
    if (it->is_number_unsigned()) {
        const std::uint64_t value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(high))
            return false;
        out = static_cast<std::int64_t>(value);
        return true;
    }
    if (it->is_number_integer()) {
        const std::int64_t value = it->get<std::int64_t>();
        if (value < low || value > high)
            return false;
        out = value;
        return true;
    }
    return false;
}

bool readId(const json& object, const char* key, int& out)
{
    std::int64_t value = 0;
    if (!readInteger(object, key, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                     value))
        return false;
    out = static_cast<int>(value);
    return true;
}

// Microseconds; recorders may write them as floating-point numbers.
bool readTimestamp(const json& object, std::int64_t& out)
{
    if (readInteger(object, "timestamp", std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max(), out))
        return true;
    auto it = object.find("timestamp");
    if (it == object.end() || !it->is_number_float())
        return false;
    const double value = it->get<double>();
    if (!std::isfinite(value) || std::fabs(value) >= 9.0e18)
        return false;
    out = static_cast<std::int64_t>(value);
    return true;
}

bool readPosition(const json& pointable, Vector& out)
{
    auto it = pointable.find("tipPosition");
    if (it == pointable.end() || !it->is_array() || it->size() != 3)
        return false;
    double xyz[3];
    for (std::size_t k = 0; k < 3; ++k) {
        const json& coordinate = (*it)[k];
        if (!coordinate.is_number())
            return false;
        xyz[k] = coordinate.get<double>();
        if (!std::isfinite(xyz[k]))
            return false;
    }
    out = Vector{xyz[0], xyz[1], xyz[2]};
    return true;
}

ParsedMessage parseDeviceEvent(const json& event)
{
    if (!event.is_object())
        return failure("\"event\" is not an object");
    auto type = event.find("type");
    if (type == event.end() || !type->is_string())
        return failure("event without a \"type\" string");
    if (type->get_ref<const std::string&>() != "deviceEvent") {
        ParsedMessage other;
        other.kind = ParsedMessage::kOther;
        return other;
    }
    auto state = event.find("state");
    if (state == event.end() || !state->is_object())
        return failure("deviceEvent without a \"state\" object");
    auto streaming = state->find("streaming");
    if (streaming == state->end() || !streaming->is_boolean())
        return failure("deviceEvent without a boolean \"streaming\"");
    ParsedMessage result;
    result.kind = ParsedMessage::kDeviceEvent;
    result.streaming = streaming->get<bool>();
    auto attached = state->find("attached");
    result.attached = (attached != state->end() && attached->is_boolean()) ? attached->get<bool>()
                                                                           : result.streaming;
    return result;
}

ParsedMessage parseFrame(const json& message)
{
    std::int64_t frameId = 0;
    if (!readInteger(message, "id", std::numeric_limits<std::int64_t>::min(),
                     std::numeric_limits<std::int64_t>::max(), frameId))
        return failure("frame \"id\" missing or not an integer");
    std::int64_t timestamp = 0;
    if (!readTimestamp(message, timestamp))
        return failure("frame \"timestamp\" missing or not a number of microseconds");

    auto hands = message.find("hands");
    if (hands == message.end() || !hands->is_array())
        return failure("frame \"hands\" missing or not an array");
    if (hands->size() > kMaxMessageHands)
        return failure("too many hands (" + std::to_string(hands->size()) + ", at most " +
                       std::to_string(kMaxMessageHands) + ")");
    auto pointables = message.find("pointables");
    if (pointables == message.end() || !pointables->is_array())
        return failure("frame \"pointables\" missing or not an array");
    if (pointables->size() > kMaxPointables)
        return failure("too many pointables (" + std::to_string(pointables->size()) + ", at most " +
                       std::to_string(kMaxPointables) + ")");

    std::vector<int> handIds;
    std::vector<std::vector<Finger>> fingers(hands->size());
    for (std::size_t h = 0; h < hands->size(); ++h) {
        const json& hand = (*hands)[h];
        int handId = 0;
        if (!hand.is_object() || !readId(hand, "id", handId))
            return failure("hand " + std::to_string(h) + ": \"id\" missing or not an integer");
        for (int seen : handIds)
            if (seen == handId)
                return failure("hand " + std::to_string(h) + ": id " + std::to_string(handId) +
                               " appears twice");
        handIds.push_back(handId);
    }
    for (std::size_t p = 0; p < pointables->size(); ++p) {
        const json& pointable = (*pointables)[p];
        const std::string where = "pointable " + std::to_string(p) + ": ";
        int fingerId = 0;
        int handId = 0;
        Vector tip;
        if (!pointable.is_object() || !readId(pointable, "id", fingerId))
            return failure(where + "\"id\" missing or not an integer");
        if (!readId(pointable, "handId", handId))
            return failure(where + "\"handId\" missing or not an integer");
        if (!readPosition(pointable, tip))
            return failure(where + "\"tipPosition\" is not three finite numbers");
        for (std::size_t h = 0; h < handIds.size(); ++h)
            if (handIds[h] == handId)
                fingers[h].emplace_back(fingerId, tip);
    }

    std::vector<Hand> frameHands;
    frameHands.reserve(handIds.size());
    for (std::size_t h = 0; h < handIds.size(); ++h)
        frameHands.emplace_back(handIds[h], std::move(fingers[h]));
    ParsedMessage result;
    result.kind = ParsedMessage::kFrame;
    result.frame = Frame(frameId, timestamp, std::move(frameHands));
    return result;
}

} // namespace

ParsedMessage parseMessage(std::string_view text)
{
    if (text.size() > kMaxMessageBytes)
        return failure("message too long (" + std::to_string(text.size()) + " bytes, at most " +
                       std::to_string(kMaxMessageBytes) + ")");
    if (!nestingWithin(text, kMaxMessageNesting))
        return failure("nested deeper than " + std::to_string(kMaxMessageNesting) + " levels");
    try {
        json message;
        try {
            message = json::parse(text.begin(), text.end());
        } catch (const json::parse_error& e) {
            return failure("not valid JSON (error at byte " + std::to_string(e.byte) + ")");
        }
        if (!message.is_object())
            return failure("not a JSON object");
        auto event = message.find("event");
        if (event != message.end())
            return parseDeviceEvent(*event);
        const bool greeting = message.contains("version") || message.contains("serviceVersion");
        if (greeting && !message.contains("hands") && !message.contains("pointables")) {
            ParsedMessage other;
            other.kind = ParsedMessage::kOther;
            return other;
        }
        if (!message.contains("id") && !message.contains("hands") &&
            !message.contains("pointables")) {
            ParsedMessage foreign;
            foreign.kind = ParsedMessage::kForeign;
            foreign.text = std::string(text);
            foreign.timed = readTimestamp(message, foreign.timestamp);
            foreign.object = std::make_shared<const json>(std::move(message));
            return foreign;
        }
        return parseFrame(message);
    } catch (const std::exception& e) {
        return failure(std::string("could not be read: ") + e.what());
    }
}

} // namespace Leap
