#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tracking/Leap.h"
#include "tracking/ReportSink.h"
#include "tracking/TestSupport.h"

namespace servicetest {

// The tracking tests' recording listener: lines(), waitForLast(), count() and fBeforeFrame.
using EventLog = trackingtest::RecordingListener;

// Status lines a source reports, collected from its thread.
class Reports {
public:
    Leap::ReportSink sink()
    {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> guard(fLock);
            fLines.push_back(line);
        };
    }

    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fLines;
    }

    std::size_t countContaining(const std::string& part) const
    {
        std::lock_guard<std::mutex> guard(fLock);
        std::size_t n = 0;
        for (const std::string& line : fLines)
            n += line.find(part) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    mutable std::mutex fLock;
    std::vector<std::string> fLines;
};

// A frame message in the service's format: one hand (id 1) with the given fingers.
struct TestFinger {
    int id;
    double x, y, z;
};

inline std::string frameMessage(long long id, const std::vector<TestFinger>& fingers,
                                long long timestampMicros = -1)
{
    std::string pointables;
    for (const TestFinger& finger : fingers) {
        char entry[200];
        std::snprintf(entry, sizeof entry,
                      "%s{\"id\":%d,\"handId\":1,\"tipPosition\":[%.17g,%.17g,%.17g],"
                      "\"type\":1}",
                      pointables.empty() ? "" : ",", finger.id, finger.x, finger.y, finger.z);
        pointables += entry;
    }
    const long long timestamp = timestampMicros >= 0 ? timestampMicros : id * 1000;
    return "{\"id\":" + std::to_string(id) + ",\"timestamp\":" + std::to_string(timestamp) +
           ",\"hands\":[{\"id\":1,\"type\":\"right\"}],\"pointables\":[" + pointables + "]}";
}

// A frame of `hands` hands (ids 0, 1, ...) with `fingersPerHand` fingers each, at positions that
// need every digit of a double.
inline Leap::Frame handsFrame(long long id, int hands, int fingersPerHand)
{
    std::vector<Leap::Hand> frameHands;
    for (int h = 0; h < hands; ++h) {
        std::vector<Leap::Finger> fingers;
        for (int f = 0; f < fingersPerHand; ++f)
            fingers.emplace_back(h * 10 + f, Leap::Vector{h + f / 3.0, 200.0 + id, -1.0 / 7.0});
        frameHands.emplace_back(h, std::move(fingers));
    }
    return Leap::Frame(id, id * 9000, std::move(frameHands));
}

inline std::string deviceEvent(bool streaming)
{
    const char* value = streaming ? "true" : "false";
    return std::string("{\"event\":{\"type\":\"deviceEvent\",\"state\":{\"attached\":true,"
                       "\"id\":\"LP0001\",\"streaming\":") +
           value + ",\"type\":\"Peripheral\"}}}";
}

} // namespace servicetest
