#pragma once

#include <RtAudio.h>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

// What differs between the audio library's releases, for the driver and the device probe alone:
// RtAudio 5 throws RtAudioError and numbers devices 0 to count - 1, some of them unprobed;
// RtAudio 6 returns error codes (the text goes to its error callback), numbers devices with ids
// of its own, and lists only devices it has probed.
#if defined(RTAUDIO_VERSION_MAJOR) && RTAUDIO_VERSION_MAJOR >= 6
#define QUORVEL_RTAUDIO_6 1
#else
#define QUORVEL_RTAUDIO_6 0
#endif

namespace rtaudio {

// A library call that failed, with the library's message.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

#if QUORVEL_RTAUDIO_6
using ErrorType = RtAudioErrorType;
inline bool IsWarning(ErrorType type)
{
    return type == RTAUDIO_WARNING;
}
inline bool IsDebug(ErrorType)
{
    return false;
}
inline std::vector<unsigned int> DeviceIds(RtAudio& audio)
{
    return audio.getDeviceIds();
}
inline bool Probed(const RtAudio::DeviceInfo&)
{
    return true;
}
// Runs library calls; throws Failure when `call` returns an error code.
template <typename Call> void Check(RtAudio& audio, Call call)
{
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
    } else if (call() != RTAUDIO_NO_ERROR) {
        throw Failure(audio.getErrorText());
    }
}
// Leaves the library's messages unsaid: a probe reports in its own words.
inline void Silence(RtAudio& audio)
{
    audio.showWarnings(false);
    audio.setErrorCallback([](RtAudioErrorType, const std::string&) {});
}
#else
using ErrorType = RtAudioError::Type;
inline bool IsWarning(ErrorType type)
{
    return type == RtAudioError::WARNING;
}
inline bool IsDebug(ErrorType type)
{
    return type == RtAudioError::DEBUG_WARNING;
}
inline std::vector<unsigned int> DeviceIds(RtAudio& audio)
{
    std::vector<unsigned int> ids(audio.getDeviceCount());
    for (unsigned int id = 0; id < ids.size(); ++id) {
        ids[id] = id;
    }
    return ids;
}
inline bool Probed(const RtAudio::DeviceInfo& info)
{
    return info.probed;
}
template <typename Call> void Check(RtAudio&, Call call)
{
    try {
        call();
    } catch (const RtAudioError& error) {
        throw Failure(error.getMessage());
    }
}
inline void Silence(RtAudio& audio)
{
    audio.showWarnings(false);
}
#endif

} // namespace rtaudio
