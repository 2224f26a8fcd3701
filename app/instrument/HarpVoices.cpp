// The harp's voices by name, and the voice a harp starts in: apart from the strings themselves, so
// that a harp that sounds elsewhere (the web page's, in its audio worklet) shares them.

#include <string>

#include "app/instrument/Harp.h"

std::atomic<Harp::VoiceKind> Harp::sStartVoice{Harp::VoiceKind::kClassic};

void Harp::SetStartVoice(VoiceKind voice)
{
    sStartVoice.store(voice);
}

const char* Harp::VoiceName(VoiceKind voice)
{
    return voice == VoiceKind::kConcert ? "concert" : "classic";
}

bool Harp::VoiceNamed(const std::string& name, VoiceKind& voice)
{
    for (VoiceKind kind : {VoiceKind::kClassic, VoiceKind::kConcert}) {
        if (name == VoiceName(kind)) {
            voice = kind;
            return true;
        }
    }
    return false;
}
