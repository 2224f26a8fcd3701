#pragma once

#include <RtAudio.h>

#include <ostream>
#include <string>
#include <vector>

// The sound systems the audio library reaches on this machine (JACK, PulseAudio, ALSA; PipeWire
// answers as JACK or PulseAudio) and their output devices, and the player's choice among them.
// A system is named as the library names it ("jack", "pulse", "alsa"); a device by its number in
// its system's list or by its name, or any part of the name that fits one device alone.
class AudioDevices {
public:
    struct Device {
        unsigned int id = 0; // its place in its system's list of devices, from 0
        std::string name;
        bool isDefault = false;
    };
    struct System {
        RtAudio::Api api = RtAudio::UNSPECIFIED;
        std::string name;
        std::vector<Device> outputs; // only devices with output channels
        std::string unusable;        // why the library must leave it alone here; "" if it need not
    };
    // What the driver opens: a system and a device name (empty: the system's default output).
    struct Choice {
        RtAudio::Api api = RtAudio::UNSPECIFIED;
        std::string device;
    };

    // Every system the library was built with, in the order the automatic choice tries them,
    // each with the output devices it has now. Main thread; a system that is not running has none.
    // `jackServer`: the JACK server's name (see JackPresence.h).
    static std::vector<System> Probe(const std::string& jackServer);

    // Resolves a system name (empty: automatic) and a device (empty: default). Returns false and
    // sets `error` (one line listing what there is) when either matches nothing. The automatic
    // choice is the first system (JACK, PulseAudio, ALSA) that has devices, probed in turn; JACK
    // is left out when no server's socket is there.
    static bool Choose(const std::string& system, const std::string& device,
                       const std::string& jackServer, Choice& choice, std::string& error);

    // The device of `system` that `device` names, or nullptr with `error` set.
    static const Device* Find(const System& system, const std::string& device, std::string& error);

    // The --list-devices text.
    static void Print(std::ostream& out, const std::vector<System>& systems);
};
