#pragma once

#include <cstdlib>
#include <string>

// The JACK server the player's libjack joins: JACK_DEFAULT_SERVER, or "default" when that names
// none. Read in the instrument, so that the audio framework is handed the name and never reads
// the environment itself.
inline std::string JackServerFromEnvironment()
{
    const char* named = std::getenv("JACK_DEFAULT_SERVER");
    return named != nullptr && *named != '\0' ? named : "default";
}
