#include "app/instrument/Harp.h"

#include <memory>

#include "src/AudioServer.h"
#include "src/Voices.h"
#include "src/nodes/Adder.h"
#include "src/nodes/Multiplier.h"
#include "src/nodes/SampleAccumulator.h"

Harp* Harp::sInstance = nullptr;
std::once_flag Harp::sInstanceOnce;

Harp* Harp::GetInstance()
{
    // A failed construction leaves sInstance null and lets the next call try again.
    std::call_once(sInstanceOnce, [] { sInstance = new Harp(); });
    return sInstance;
}

Harp::Harp() : fAdder(nullptr), fMultiplier(nullptr), fNumStrings(1)
{
    // Capacity for every string up front: adding one never reallocates, so it cannot fail
    // halfway between the two lists.
    fStrings.reserve(kMaxStrings);
    fBuffers.reserve(kMaxStrings);
    Init();
}

Harp::~Harp()
{
    Cleanup();
}

void Harp::Init()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    BuildGraph();
}

void Harp::Cleanup()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    TearDownGraph();
}

void Harp::BuildGraph()
{
    TearDownGraph();
    try {
        fAdder = new Adder(0.0f);
        fMultiplier = new Multiplier(nullptr, nullptr, 1.0f);
        fMultiplier->SetA(fAdder);
        fMultiplier->SetVal(kOutputGain);
        for (int i = 0; i < fNumStrings.load(); ++i)
            AppendString();

        // The first moment the audio thread can reach the graph.
        AudioServer::ScopedLock hold;
        AudioServer::GetInstance()->AddClient(fMultiplier, 0);
        AudioServer::GetInstance()->AddClient(fMultiplier, 1);
    } catch (...) {
        TearDownGraph();
        throw;
    }
}

void Harp::TearDownGraph()
{
    AudioServer* server = AudioServer::GetInstance();
    if (fAdder != nullptr) {
        for (SampleAccumulator* tap : fBuffers) {
            AudioServer::ScopedLock hold;
            fAdder->RemoveInput(tap);
        }
    }
    for (SampleAccumulator* tap : fBuffers)
        delete tap;
    if (fMultiplier != nullptr) {
        {
            AudioServer::ScopedLock hold;
            server->RemoveClient(fMultiplier, 0);
            server->RemoveClient(fMultiplier, 1);
        }
        delete fMultiplier;
    }
    delete fAdder;
    fStrings.clear();
    fBuffers.clear();
    fAdder = nullptr;
    fMultiplier = nullptr;
}

void Harp::AppendString()
{
    auto string = std::make_shared<Karplus>(kStringPeriodSeconds);
    std::unique_ptr<SampleAccumulator> tap(new SampleAccumulator());
    tap->SetInput(string.get());
    tap->SetSamplesPerPixel(kSamplesPerPixel);
    {
        // Only the one change the audio thread can see happens under the server lock.
        AudioServer::ScopedLock serverHold;
        fAdder->AddInput(tap.get());
    }
    fStrings.push_back(std::move(string));
    fBuffers.push_back(tap.release());
}

void Harp::AddString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings.load() >= kMaxStrings || fAdder == nullptr)
        return;
    AppendString();
    fNumStrings.fetch_add(1);
}

void Harp::RemoveString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings.load() <= kMinStrings || fStrings.empty() || fAdder == nullptr)
        return;
    SampleAccumulator* tap = fBuffers.back();
    {
        AudioServer::ScopedLock serverHold;
        fAdder->RemoveInput(tap);
    }
    fBuffers.pop_back();
    delete tap;
    // A pluck in flight may still hold the string; it goes when the pluck ends.
    fStrings.pop_back();
    fNumStrings.fetch_sub(1);
}

std::shared_ptr<Karplus> Harp::StringAt(int string) const
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    return fStrings.at(static_cast<std::size_t>(string));
}

void Harp::NoteOn(int string, int note, int velocity)
{
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string)->NoteOn(note, velocity, nullptr, 0);
}

void Harp::ExciteString(int string, int note, int velocity, float* burst, int length)
{
    // The note-on prints its note line and waits for the server lock: no lock but the pluck's
    // own is held meanwhile.
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string)->NoteOn(note, velocity, burst, length);
}

void Harp::ExciteString(int string, float pitch, int velocity, float* burst, int length)
{
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string)->NoteOn(pitch, velocity, burst, length);
}

int Harp::GetNumStrings() const
{
    return fNumStrings.load();
}

std::vector<SampleAccumulator*>& Harp::GetBuffers()
{
    return fBuffers;
}
