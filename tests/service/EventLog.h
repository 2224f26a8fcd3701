#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Leap.h"

namespace servicetest {

// A listener that writes down every callback as a line: "init", "connect", "disconnect", and
// "frame ID: FINGER@(x,y,z) ..." with every digit of the positions, so two logs are equal only if
// the callbacks were.
class EventLog : public Leap::Listener {
public:
    void onInit(const Leap::Controller&) override { add("init"); }
    void onConnect(const Leap::Controller&) override { add("connect"); }
    void onDisconnect(const Leap::Controller&) override { add("disconnect"); }
    void onFrame(const Leap::Controller& controller) override
    {
        if (fBeforeFrame)
            fBeforeFrame();
        add(describe(controller.frame(0)));
    }

    static std::string describe(const Leap::Frame& frame)
    {
        std::string line = "frame " + std::to_string(frame.id()) + ":";
        for (const Leap::Hand& hand : frame.hands()) {
            for (const Leap::Finger& finger : hand.fingers()) {
                const Leap::Vector& tip = finger.tip().position;
                char position[96];
                std::snprintf(position, sizeof position, "(%.17g,%.17g,%.17g)", tip.x, tip.y,
                              tip.z);
                line += " " + std::to_string(finger.id()) + "@" + position;
            }
        }
        return line;
    }

    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fLines;
    }

    // Waits until the last line is `line`; false after `timeout`.
    bool waitForLast(const std::string& line,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        std::unique_lock<std::mutex> lock(fLock);
        return fChanged.wait_for(lock, timeout,
                                 [&] { return !fLines.empty() && fLines.back() == line; });
    }

    std::size_t count(const std::string& line) const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return countLocked(line);
    }

    // Runs on the controller's thread before each frame is written down; set before starting.
    std::function<void()> fBeforeFrame;

private:
    std::size_t countLocked(const std::string& line) const
    {
        std::size_t n = 0;
        for (const std::string& seen : fLines)
            n += seen == line ? 1 : 0;
        return n;
    }

    void add(std::string line)
    {
        {
            std::lock_guard<std::mutex> guard(fLock);
            fLines.push_back(std::move(line));
        }
        fChanged.notify_all();
    }

    mutable std::mutex fLock;
    mutable std::condition_variable fChanged;
    std::vector<std::string> fLines;
};

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
