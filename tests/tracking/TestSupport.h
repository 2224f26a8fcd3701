#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tracking/Leap.h"

namespace trackingtest {

// A scratch directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            fPath = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    std::string write(const std::string& name, const std::string& contents) const
    {
        const std::string path = (fPath / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    const std::filesystem::path& path() const { return fPath; }

private:
    std::filesystem::path fPath;
};

// Records every callback twice: as a short word ("init", "connect", "disconnect", "frame N") in
// events(), and as a line in lines() whose frames carry every finger with every digit of its
// position ("frame N: FINGER@(x,y,z) ..."), so two logs of lines are equal only if the callbacks
// were.
class RecordingListener : public Leap::Listener {
public:
    void onInit(const Leap::Controller&) override { record("init", "init"); }
    void onConnect(const Leap::Controller&) override { record("connect", "connect"); }
    void onDisconnect(const Leap::Controller&) override { record("disconnect", "disconnect"); }
    // A line the controller hands on unparsed, or parsed into something else, is marked.
    void onMessage(const Leap::Controller& controller, const std::string& line) override;
    void onFrame(const Leap::Controller& controller) override
    {
        if (fBeforeFrame)
            fBeforeFrame();
        Leap::Frame frame = controller.frame(0);
        {
            std::lock_guard<std::mutex> guard(fLock);
            fFrames.push_back(frame);
        }
        record("frame " + std::to_string(frame.id()), describe(frame));
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

    std::vector<std::string> events() const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fEvents;
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fLines;
    }
    std::vector<Leap::Frame> frames() const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return fFrames;
    }
    // Waits (10 s at most, so a fault fails instead of hanging) until the predicate holds for
    // the events so far.
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& done)
    {
        std::unique_lock<std::mutex> guard(fLock);
        return fChanged.wait_for(guard, std::chrono::seconds(10), [&] { return done(fEvents); });
    }
    bool waitForEvent(const std::string& word)
    {
        return waitFor([&](const std::vector<std::string>& events) {
            for (const auto& event : events)
                if (event == word)
                    return true;
            return false;
        });
    }
    // Waits until the last line is `line`; false after `timeout`.
    bool waitForLast(const std::string& line,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        std::unique_lock<std::mutex> guard(fLock);
        return fChanged.wait_for(guard, timeout,
                                 [&] { return !fLines.empty() && fLines.back() == line; });
    }
    // How many lines are exactly `line`.
    std::size_t count(const std::string& line) const
    {
        std::lock_guard<std::mutex> guard(fLock);
        return static_cast<std::size_t>(std::count(fLines.begin(), fLines.end(), line));
    }

    // Runs on the controller's thread before each frame is recorded; set before starting.
    std::function<void()> fBeforeFrame;

private:
    void record(const std::string& word, std::string line)
    {
        {
            std::lock_guard<std::mutex> guard(fLock);
            fEvents.push_back(word);
            fLines.push_back(std::move(line));
        }
        fChanged.notify_all();
    }

    mutable std::mutex fLock;
    mutable std::condition_variable fChanged;
    std::vector<std::string> fEvents;
    std::vector<std::string> fLines;
    std::vector<Leap::Frame> fFrames;
};

inline int countLinesContaining(const std::string& text, const std::string& needle)
{
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(needle) != std::string::npos)
            ++count;
    return count;
}

// Lines a recording or the service could throw at the parser; none of them is a usable message.
inline std::vector<std::string> hostileLines()
{
    const std::string okPointable = R"({"id":1,"handId":1,"tipPosition":[0,200,0]})";
    std::string manyHands = R"({"id":1,"timestamp":0,"pointables":[],"hands":[)";
    for (int h = 0; h < 1000; ++h)
        manyHands += (h ? "," : "") + std::string(R"({"id":)") + std::to_string(h) + "}";
    manyHands += "]}";
    std::string manyPointables = R"({"id":1,"timestamp":0,"hands":[{"id":1}],"pointables":[)";
    for (int p = 0; p < 5000; ++p)
        manyPointables += (p ? "," : "") + okPointable;
    manyPointables += "]}";
    std::string megabyte = R"({"id":1,"timestamp":0,"hands":[],"pointables":[],"pad":")";
    megabyte += std::string(1 << 20, 'x') + "\"}";

    return {
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId")",
        R"({"id": 1, "timestamp": 0, "hands": [)",
        "not json at all",
        "[1, 2, 3]",
        "42",
        R"("a string")",
        "null",
        R"({"id": "1", "timestamp": 0, "hands": [], "pointables": []})",
        R"({"id": 1.5, "timestamp": 0, "hands": [], "pointables": []})",
        R"({"id": 1, "timestamp": "0", "hands": [], "pointables": []})",
        R"({"id": 1, "timestamp": 1e300, "hands": [], "pointables": []})",
        R"({"id": 1, "timestamp": 0, "hands": {}, "pointables": []})",
        R"({"id": 1, "timestamp": 0, "hands": []})",
        R"({"id": 1, "timestamp": 0, "hands": [7], "pointables": []})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 99999999999}], "pointables": []})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}, {"id": 1}], "pointables": []})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": ["0", "200", "0"]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [0, 200]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [0, 200, 0, 5]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1.5, "tipPosition": [0, 200, 0]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [NaN, 200, 0]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [Infinity, 200, 0]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [1e400, 200, 0]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": [0, -1e400, 0]}]})",
        R"({"id": 1, "timestamp": 0, "hands": [{"id": 1}], "pointables": [{"id": 1, "handId": 1, "tipPosition": null}]})",
        R"({"event": "deviceEvent"})",
        R"({"event": {"type": "deviceEvent", "state": {"streaming": "yes"}}})",
        R"({"event": {"type": 3}})",
        "{\"id\": 1, \"timestamp\": 0, \"hands\": [], \"pointables\": [], \"bad\": \"\xff\xfe\"}",
        std::string(100000, '[') + std::string(100000, ']'),
        std::string(100000, '{'),
        manyHands,
        manyPointables,
        megabyte,
    };
}

} // namespace trackingtest
