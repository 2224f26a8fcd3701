#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/InstrumentOutput.h"
#include "src/AudioServer.h"
#include "src/nodes/SampleAccumulator.h"
#include "support/ManualSource.h"
#include "tracking/Leap.h"

namespace apptest {

// Leaves the harp with `count` strings, strings 1 and up newly built (silent).
inline void freshStrings(int count)
{
    Harp* harp = Harp::GetInstance();
    while (harp->GetNumStrings() > 1)
        harp->RemoveString();
    while (harp->GetNumStrings() < count)
        harp->AddString();
}

// The notes of the plucks the instrument hands its outputs (as MIDI out hears them), in order.
class HeardNotes : public InstrumentOutput {
public:
    // The one listening output of the process, added on first use: outputs are never removed.
    static HeardNotes& Instance()
    {
        static HeardNotes* const heard = [] {
            auto* made = new HeardNotes;
            GLStuff::AddOutput(made);
            return made;
        }();
        return *heard;
    }
    void Plucked(int, int note, int) override
    {
        std::lock_guard<std::mutex> hold(fLock);
        fNotes.push_back(note);
    }
    // The notes heard since last asked.
    std::vector<int> take()
    {
        std::lock_guard<std::mutex> hold(fLock);
        return std::exchange(fNotes, {});
    }

private:
    std::mutex fLock;
    std::vector<int> fNotes;
};

inline void clearTracks()
{
    std::lock_guard<std::mutex> hold(GLStuff::gLock);
    GLStuff::gFingers.clear();
}

// Renders `frames` samples of the server's channel 0 (one output channel, no input).
inline std::vector<float> render(int frames)
{
    AudioServer* server = AudioServer::GetInstance();
    server->SetOutputChannels(1);
    std::vector<float> out(static_cast<std::size_t>(frames));
    server->AudioServerCallback(nullptr, out.data(), static_cast<unsigned int>(frames));
    return out;
}

// Largest and smallest sample the display tap of `stringIndex` has seen since last asked.
inline std::pair<float, float> tapExtremes(int stringIndex)
{
    float largest = 0.0f;
    float smallest = 0.0f;
    for (const auto& pair : Harp::GetInstance()->GetBuffers().at(stringIndex)->Get()) {
        largest = std::max(largest, pair.first);
        smallest = std::min(smallest, pair.second);
    }
    return {largest, smallest};
}

struct Tip {
    int id;
    double x, y, z; // tracker millimetres
};

// A frame with one hand per entry of `hands`, in order.
inline Leap::Frame frameOf(const std::vector<std::pair<int, std::vector<Tip>>>& hands)
{
    static std::int64_t sNextId = 1;
    std::vector<Leap::Hand> built;
    for (const auto& [handId, tips] : hands) {
        std::vector<Leap::Finger> fingers;
        for (const Tip& tip : tips)
            fingers.emplace_back(tip.id, Leap::Vector{tip.x, tip.y, tip.z});
        built.emplace_back(handId, std::move(fingers));
    }
    const std::int64_t id = sNextId++;
    return Leap::Frame(id, id * 10000, std::move(built));
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

inline int count(const std::vector<std::string>& all, const std::string& line)
{
    return static_cast<int>(std::count(all.begin(), all.end(), line));
}

} // namespace apptest
