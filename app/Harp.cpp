#include "Harp.h"

#include <memory>

#include "Adder.h"
#include "AudioServer.h"
#include "Multiplier.h"
#include "SampleAccumulator.h"
#include "Voices.h"

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
        for (int i = 0; i < fNumStrings; ++i) {
            std::unique_ptr<Karplus> string(new Karplus(kStringPeriodSeconds));
            std::unique_ptr<SampleAccumulator> tap(new SampleAccumulator());
            tap->SetInput(string.get());
            tap->SetSamplesPerPixel(kSamplesPerPixel);
            fStrings.push_back(string.release());
            fBuffers.push_back(tap.release());
        }
        fAdder = new Adder(0.0f);
        for (int i = 0; i < fNumStrings; ++i)
            fAdder->AddInput(fBuffers.at(i));
        fMultiplier = new Multiplier(nullptr, nullptr, 1.0f);
        fMultiplier->SetA(fAdder);
        fMultiplier->SetVal(kOutputGain);

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
    for (size_t i = 0; i < fStrings.size(); ++i) {
        SampleAccumulator* tap = i < fBuffers.size() ? fBuffers[i] : nullptr;
        if (fAdder != nullptr && tap != nullptr) {
            AudioServer::ScopedLock hold;
            fAdder->RemoveInput(tap);
        }
        delete fStrings[i];
        delete tap;
    }
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

void Harp::AddString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings >= kMaxStrings || fAdder == nullptr)
        return;
    std::unique_ptr<Karplus> string(new Karplus(kStringPeriodSeconds));
    std::unique_ptr<SampleAccumulator> tap(new SampleAccumulator());
    tap->SetInput(string.get());
    tap->SetSamplesPerPixel(kSamplesPerPixel);
    {
        // Only the one change the audio thread can see happens under the server lock.
        AudioServer::ScopedLock serverHold;
        fAdder->AddInput(tap.get());
    }
    fStrings.push_back(string.release());
    fBuffers.push_back(tap.release());
    ++fNumStrings;
}

void Harp::RemoveString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings <= kMinStrings || fStrings.empty() || fAdder == nullptr)
        return;
    SampleAccumulator* tap = fBuffers.back();
    Karplus* string = fStrings.back();
    {
        AudioServer::ScopedLock serverHold;
        fAdder->RemoveInput(tap);
    }
    fBuffers.pop_back();
    delete tap;
    fStrings.pop_back();
    delete string;
    --fNumStrings;
}

void Harp::NoteOn(int string, int note, int velocity)
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    fStrings.at(string)->NoteOn(note, velocity, nullptr, 0);
}

void Harp::ExciteString(int string, int note, int velocity, float* burst, int length)
{
    // Held through the pluck, so RemoveString cannot destroy the string meanwhile.
    std::lock_guard<std::mutex> hold(fStringsLock);
    fStrings.at(string)->NoteOn(note, velocity, burst, length);
}

int Harp::GetNumStrings() const
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    return fNumStrings;
}

std::vector<SampleAccumulator*>& Harp::GetBuffers()
{
    return fBuffers;
}
