#include "src/device/AudioDevices.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "src/device/JackPresence.h"
#include "src/device/PulseDescriptions.h"
#include "src/device/RtAudioVersion.h"

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.size() < 6 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<RtAudio::Api> CompiledApis()
{
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    // A stand-in that never makes a sound is no choice for a player.
    apis.erase(std::remove(apis.begin(), apis.end(), RtAudio::RTAUDIO_DUMMY), apis.end());
    // JACK, then PulseAudio, then ALSA, as RtAudio 5 tries them; RtAudio 6 tries ALSA first,
    // which would always win.
    const auto rank = [](RtAudio::Api api) {
        return api == RtAudio::UNIX_JACK ? 0 : api == RtAudio::LINUX_PULSE ? 1 : 2;
    };
    std::stable_sort(apis.begin(), apis.end(),
                     [&](RtAudio::Api a, RtAudio::Api b) { return rank(a) < rank(b); });
    return apis;
}

// `lookFirst`: leave JACK alone when no server's socket is there (see JackPresence.h).
AudioDevices::System ProbeOne(RtAudio::Api api, const std::string& jackServer, bool& hasDevices,
                              bool lookFirst = true)
{
    AudioDevices::System system;
    system.api = api;
    system.name = RtAudio::getApiName(api);
    hasDevices = false;
    if (lookFirst && api == RtAudio::UNIX_JACK && !JackServerMayRun(jackServer)) {
        return system;
    }
    if (api == RtAudio::LINUX_PULSE) {
        const std::string undescribed = PulseDeviceWithoutDescription();
        if (!undescribed.empty()) {
            system.unusable = "its device \"" + undescribed +
                              "\" has no description, which the audio library cannot take";
            return system;
        }
    }
    try {
        RtAudio audio(api);
        // A system that is not running says so at length; here it simply has no devices.
        rtaudio::Silence(audio);
        rtaudio::Check(audio, [&] {
            const std::vector<unsigned int> ids = rtaudio::DeviceIds(audio);
            hasDevices = !ids.empty();
            // The player's number for a device is its place in the library's list.
            for (unsigned int number = 0; number < ids.size(); ++number) {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(ids[number]);
                if (rtaudio::Probed(info) && info.outputChannels > 0) {
                    system.outputs.push_back({number, info.name, info.isDefaultOutput});
                }
            }
        });
    } catch (const rtaudio::Failure&) {
        system.outputs.clear();
    }
    return system;
}

std::string Names(const std::vector<AudioDevices::System>& systems)
{
    std::string names;
    for (const AudioDevices::System& system : systems) {
        names += (names.empty() ? "" : ", ") + system.name;
    }
    return names;
}

} // namespace

std::vector<AudioDevices::System> AudioDevices::Probe(const std::string& jackServer)
{
    std::vector<System> systems;
    for (const RtAudio::Api api : CompiledApis()) {
        bool hasDevices = false;
        systems.push_back(ProbeOne(api, jackServer, hasDevices));
    }
    return systems;
}

bool AudioDevices::Choose(const std::string& systemName, const std::string& device,
                          const std::string& jackServer, Choice& choice, std::string& error)
{
    choice = Choice();
    System system;
    if (!systemName.empty()) {
        const std::vector<RtAudio::Api> apis = CompiledApis();
        const auto named = std::find_if(apis.begin(), apis.end(), [&](RtAudio::Api api) {
            return RtAudio::getApiName(api) == Lower(systemName);
        });
        if (named == apis.end()) {
            std::vector<System> known;
            for (const RtAudio::Api api : apis) {
                known.push_back({api, RtAudio::getApiName(api), {}, {}});
            }
            error = "unknown audio system \"" + systemName + "\"; there are: " + Names(known);
            return false;
        }
        bool hasDevices = false;
        // Asked for by name, JACK is tried even where no socket shows a server.
        system = ProbeOne(*named, jackServer, hasDevices, false);
        if (!system.unusable.empty()) {
            error = "audio system \"" + system.name + "\" is not usable here: " + system.unusable;
            return false;
        }
        if (system.outputs.empty()) {
            error = "audio system \"" + system.name + "\" has no output device here" +
                    (system.api == RtAudio::UNIX_JACK ? " (is a JACK server running?)" : "");
            return false;
        }
    } else {
        // The automatic choice: the first system that has any device.
        for (const RtAudio::Api api : CompiledApis()) {
            bool hasDevices = false;
            system = ProbeOne(api, jackServer, hasDevices);
            if (hasDevices) {
                break;
            }
        }
    }
    choice.api = system.api;
    if (!device.empty()) {
        const Device* found = Find(system, device, error);
        if (found == nullptr) {
            return false;
        }
        choice.device = found->name;
    }
    return true;
}

const AudioDevices::Device* AudioDevices::Find(const System& system, const std::string& device,
                                               std::string& error)
{
    const Device* found = nullptr;
    if (IsNumber(device)) {
        const unsigned long id = std::stoul(device);
        for (const Device& output : system.outputs) {
            if (output.id == id) {
                found = &output;
            }
        }
    } else {
        // A whole name wins over a part of one, which must fit one device alone.
        int partial = 0;
        for (const Device& output : system.outputs) {
            if (output.name == device) {
                return &output;
            }
            if (Lower(output.name).find(Lower(device)) != std::string::npos) {
                found = &output;
                ++partial;
            }
        }
        if (partial > 1) {
            found = nullptr;
        }
    }
    if (found == nullptr) {
        std::string names;
        for (const Device& output : system.outputs) {
            names += (names.empty() ? "" : ", ") + std::to_string(output.id) + " \"" + output.name +
                     "\"";
        }
        error = "no single " + system.name + " output device matches \"" + device +
                "\"; there are: " + (names.empty() ? "none" : names);
    }
    return found;
}

void AudioDevices::Print(std::ostream& out, const std::vector<System>& systems)
{
    for (const System& system : systems) {
        out << system.name << ":";
        if (!system.unusable.empty()) {
            out << " not usable here: " << system.unusable;
        } else if (system.outputs.empty()) {
            out << " no output devices" << (system.api == RtAudio::UNIX_JACK ? " (no server)" : "");
        }
        out << "\n";
        for (const Device& output : system.outputs) {
            out << "  " << output.id << "  " << output.name
                << (output.isDefault ? "  (default)" : "") << "\n";
        }
    }
    out << std::flush;
}
