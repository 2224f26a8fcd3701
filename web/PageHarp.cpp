// The harp as the page's main thread holds it: the number of strings and where plucks go. The
// strings themselves sound in the audio worklet, in the engine's own Harp (worklet_engine.cpp,
// which links app/instrument/Harp.cpp); here each change and each pluck, its burst already
// shaped by the pluck detector, is handed to the page, which posts it to the worklet. Each pluck's
// note line is printed here (on the page's console), since the worklet's pass must not print.
// Main thread only: the page has no other thread that calls the harp.

#include <iostream>
#include <stdexcept>

#include <emscripten.h>

#include "app/instrument/Harp.h"
#include "src/NoteLine.h"

// The page's handlers (web/page/harp.js): Module.strings(count), Module.pluck(...).
EM_JS(void, quorvel_post_strings, (int count), { Module.strings(count); });
EM_JS(void, quorvel_post_voice, (int voice), { Module.voice(voice); });
EM_JS(void, quorvel_post_pluck,
      (int stringIndex, float pitch, int velocity, float* burst, int length), {
          Module.pluck(stringIndex, pitch, velocity,
                       HEAPF32.slice(burst >> 2, (burst >> 2) + length));
      });

Harp* Harp::sInstance = nullptr;
std::once_flag Harp::sInstanceOnce;

Harp* Harp::GetInstance()
{
    std::call_once(sInstanceOnce, [] { sInstance = new Harp(); });
    return sInstance;
}

Harp::Harp()
    : fKeepStrings(false), fAdder(nullptr), fMultiplier(nullptr), fRoom(nullptr),
      fVoice(sStartVoice.load()), fNumStrings(1)
{
    if (fVoice.load() != VoiceKind::kClassic)
        quorvel_post_voice(static_cast<int>(fVoice.load()));
}

Harp::~Harp() = default;

void Harp::AddString()
{
    if (fNumStrings.load() >= kMaxStrings)
        return;
    quorvel_post_strings(fNumStrings.fetch_add(1) + 1);
}

void Harp::RemoveString()
{
    if (fNumStrings.load() <= kMinStrings)
        return;
    quorvel_post_strings(fNumStrings.fetch_sub(1) - 1);
}

void Harp::ExciteString(int string, int note, int velocity, float* burst, int length)
{
    ExciteString(string, static_cast<float>(note), velocity, burst, length);
}

void Harp::ExciteString(int string, float pitch, int velocity, float* burst, int length)
{
    if (string < 0 || string >= fNumStrings.load())
        throw std::out_of_range("no such string");
    WriteNoteLine(std::cout, NearestNote(pitch), NoteFrequency(pitch));
    quorvel_post_pluck(string, pitch, velocity, burst, length);
}

int Harp::GetNumStrings() const
{
    return fNumStrings.load();
}

void Harp::SetVoice(VoiceKind voice)
{
    if (fVoice.exchange(voice) != voice)
        quorvel_post_voice(static_cast<int>(voice));
}

Harp::VoiceKind Harp::GetVoice() const
{
    return fVoice.load();
}
