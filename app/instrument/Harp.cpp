#include "app/instrument/Harp.h"

#include <memory>

#include "src/AudioServer.h"
#include "src/ConcertString.h"
#include "src/Voices.h"
#include "src/nodes/Adder.h"
#include "src/nodes/BodyFilter.h"
#include "src/nodes/DcBlocker.h"
#include "src/nodes/Multiplier.h"
#include "src/nodes/Room.h"
#include "src/nodes/SampleAccumulator.h"
#include "src/nodes/StereoMix.h"

Harp* Harp::sInstance = nullptr;
std::once_flag Harp::sInstanceOnce;
std::atomic<float> Harp::sRoom{0.0f};

void Harp::SetRoom(float amount)
{
    sRoom.store(amount);
}

Harp* Harp::GetInstance()
{
    // A failed construction leaves sInstance null and lets the next call try again.
    std::call_once(sInstanceOnce, [] { sInstance = new Harp(); });
    return sInstance;
}

Harp::Harp()
    : fKeepStrings(false), fAdder(nullptr), fMultiplier(nullptr), fMix(nullptr), fBodies(),
      fBlockers(), fRoom(nullptr), fOutputs(), fVoice(sStartVoice.load()), fNumStrings(1)
{
    // Capacity for every string up front: adding one never reallocates, so it cannot fail
    // halfway between the two lists.
    fStrings.reserve(kMaxStrings);
    fBuffers.reserve(kMaxStrings);
    fKeptStrings.reserve(kMaxStrings);
    fKeptBuffers.reserve(kMaxStrings);
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
    const float rate = AudioServer::GetInstance()->Fs();
    const float room = sRoom.load();
    try {
        if (fVoice.load() == VoiceKind::kClassic) {
            fAdder = new Adder(0.0f);
            fMultiplier = new Multiplier(nullptr, nullptr, 1.0f);
            fMultiplier->SetA(fAdder);
            fMultiplier->SetVal(kOutputGain);
            // Its plucks leave no offset (Karplus takes it out of each excitation): no
            // blocker, so it plays as it always has.
            fOutputs[0] = fOutputs[1] = fMultiplier;
            if (room > 0.0f) {
                fRoom = new Room(fMultiplier, fMultiplier, room, rate);
                fOutputs[0] = fRoom;
                fOutputs[1] = fRoom->Right();
            }
        } else {
            fMix = new StereoMix(kConcertGain, rate);
            AudioClient* sides[2] = {fMix, fMix->Right()};
            for (int side = 0; side < 2; ++side)
                sides[side] = fBodies[side] = new BodyFilter(sides[side], side, rate);
            if (room > 0.0f) {
                fRoom = new Room(sides[0], sides[1], room, rate);
                sides[0] = fRoom;
                sides[1] = fRoom->Right();
            }
            for (int side = 0; side < 2; ++side) {
                fBlockers[side] = new DcBlocker(sides[side], rate);
                fOutputs[side] = fBlockers[side];
            }
        }
        for (int i = 0; i < fNumStrings.load(); ++i)
            AppendString();
        if (fKeepStrings)
            BuildKeptStrings();

        // The first moment the audio thread can reach the graph.
        AudioServer::ScopedLock hold;
        AudioServer::GetInstance()->AddClient(fOutputs[0], 0);
        AudioServer::GetInstance()->AddClient(fOutputs[1], 1);
    } catch (...) {
        TearDownGraph();
        throw;
    }
}

void Harp::TearDownGraph()
{
    AudioServer* server = AudioServer::GetInstance();
    for (SampleAccumulator* tap : fBuffers) {
        AudioServer::ScopedLock hold;
        Disconnect(tap);
    }
    for (SampleAccumulator* tap : fBuffers)
        delete tap;
    for (SampleAccumulator* tap : fKeptBuffers)
        delete tap;
    if (fOutputs[0] != nullptr) {
        AudioServer::ScopedLock hold;
        server->RemoveClient(fOutputs[0], 0);
        server->RemoveClient(fOutputs[1], 1);
    }
    // Outputs first, inputs last: nothing is deleted while a node still pulls it.
    for (int side = 0; side < 2; ++side) {
        delete fBlockers[side];
        fBlockers[side] = nullptr;
        fOutputs[side] = nullptr;
    }
    delete fRoom;
    fRoom = nullptr;
    for (BodyFilter*& body : fBodies) {
        delete body;
        body = nullptr;
    }
    delete fMultiplier;
    delete fAdder;
    delete fMix;
    fStrings.clear();
    fBuffers.clear();
    fKeptStrings.clear();
    fKeptBuffers.clear();
    fAdder = nullptr;
    fMultiplier = nullptr;
    fMix = nullptr;
}

void Harp::Connect(SampleAccumulator* tap)
{
    if (fAdder != nullptr)
        fAdder->AddInput(tap);
    if (fMix != nullptr)
        fMix->AddInput(tap);
}

void Harp::Disconnect(SampleAccumulator* tap)
{
    if (fAdder != nullptr)
        fAdder->RemoveInput(tap);
    if (fMix != nullptr)
        fMix->RemoveInput(tap);
}

Harp::BuiltString Harp::BuildString() const
{
    BuiltString built;
    AudioClient* node = nullptr;
    if (fVoice.load() == VoiceKind::kClassic) {
        built.voice.classic = std::make_shared<Karplus>(kStringPeriodSeconds);
        node = built.voice.classic.get();
    } else {
        built.voice.concert = std::make_shared<ConcertString>();
        node = built.voice.concert.get();
    }
    built.tap.reset(new SampleAccumulator());
    built.tap->SetInput(node);
    built.tap->SetSamplesPerPixel(kSamplesPerPixel);
    return built;
}

void Harp::AppendString()
{
    BuiltString built = BuildString();
    {
        // Only the one change the audio thread can see happens under the server lock.
        AudioServer::ScopedLock serverHold;
        Connect(built.tap.get());
    }
    fStrings.push_back(std::move(built.voice));
    fBuffers.push_back(built.tap.release());
}

void Harp::BuildKeptStrings()
{
    while (fStrings.size() + fKeptStrings.size() < static_cast<std::size_t>(kMaxStrings)) {
        BuiltString built = BuildString();
        fKeptStrings.push_back(std::move(built.voice));
        fKeptBuffers.push_back(built.tap.release());
    }
}

void Harp::BuildAllStrings()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    fKeepStrings = true;
    if (fOutputs[0] != nullptr)
        BuildKeptStrings();
}

void Harp::AddString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings.load() >= kMaxStrings || fOutputs[0] == nullptr)
        return;
    if (fKeptStrings.empty()) {
        AppendString();
    } else {
        // Silenced when it was taken away; the lists' capacity is reserved, so nothing allocates.
        {
            AudioServer::ScopedLock serverHold;
            Connect(fKeptBuffers.back());
        }
        fStrings.push_back(std::move(fKeptStrings.back()));
        fBuffers.push_back(fKeptBuffers.back());
        fKeptStrings.pop_back();
        fKeptBuffers.pop_back();
    }
    fNumStrings.fetch_add(1);
}

void Harp::RemoveString()
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (fNumStrings.load() <= kMinStrings || fStrings.empty() || fOutputs[0] == nullptr)
        return;
    SampleAccumulator* tap = fBuffers.back();
    {
        AudioServer::ScopedLock serverHold;
        Disconnect(tap);
        // Out of the mix it is silent now; kept, it must be so when it comes back.
        if (fKeepStrings)
            fStrings.back().Silence();
    }
    fBuffers.pop_back();
    if (fKeepStrings) {
        fKeptBuffers.push_back(tap);
        fKeptStrings.push_back(std::move(fStrings.back()));
    } else {
        delete tap;
    }
    // A pluck in flight may still hold the string; it goes when the pluck ends.
    fStrings.pop_back();
    fNumStrings.fetch_sub(1);
}

Harp::StringVoice Harp::StringAt(int string) const
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    return fStrings.at(static_cast<std::size_t>(string));
}

void Harp::StringVoice::Pluck(float pitch, int velocity, float* burst, int length) const
{
    if (classic)
        classic->NoteOn(pitch, velocity, burst, length);
    else if (concert)
        concert->NoteOn(pitch, velocity, burst, length);
}

void Harp::StringVoice::Silence() const
{
    if (classic)
        classic->Silence();
    else if (concert)
        concert->Silence();
}

void Harp::NoteOn(int string, int note, int velocity)
{
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string).Pluck(static_cast<float>(note), velocity, nullptr, 0);
}

void Harp::ExciteString(int string, int note, int velocity, float* burst, int length)
{
    // The note-on prints its note line and waits for the server lock: no lock but the pluck's
    // own is held meanwhile.
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string).Pluck(static_cast<float>(note), velocity, burst, length);
}

void Harp::ExciteString(int string, float pitch, int velocity, float* burst, int length)
{
    std::lock_guard<std::mutex> pluck(fPluckLock);
    StringAt(string).Pluck(pitch, velocity, burst, length);
}

int Harp::GetNumStrings() const
{
    return fNumStrings.load();
}

void Harp::SetVoice(VoiceKind voice)
{
    std::lock_guard<std::mutex> hold(fStringsLock);
    if (voice == fVoice.load())
        return;
    fVoice.store(voice);
    BuildGraph();
}

Harp::VoiceKind Harp::GetVoice() const
{
    return fVoice.load();
}

std::vector<SampleAccumulator*>& Harp::GetBuffers()
{
    return fBuffers;
}
