#include "Options.h"

#include <cstring>
#include <vector>

#include "AudioDevices.h"
#include "InstalledFiles.h"
#include "JackServerFromEnvironment.h"
#include "Tuning.h"

namespace {

const char kAudioVariable[] = "QUORVEL_AUDIO";
const char kDeviceVariable[] = "QUORVEL_AUDIO_DEVICE";
const char kTouchVariable[] = "QUORVEL_TOUCH";

// Status for a command line or setting the program refuses.
constexpr int kUsageStatus = 2;

// The value of "--name=VALUE" or "--name VALUE" at argv[index], moving index past it; false
// when argv[index] is not that option.
bool TakeValue(const char* name, int argc, char** argv, int& index, std::string& value,
               std::string& error)
{
    const char* argument = argv[index];
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0) {
        return false;
    }
    if (argument[length] == '=') {
        value = argument + length + 1;
    } else if (argument[length] != '\0') {
        return false;
    } else if (index + 1 < argc) {
        value = argv[++index];
    } else {
        error = std::string(name) + " needs a value; see --help";
        return true;
    }
    if (value.empty()) {
        error = std::string(name) + " needs a value; see --help";
    }
    return true;
}

} // namespace

Options Options::Parse(int& argc, char** argv, const Lookup& lookup)
{
    Options options;
    const char* system = lookup(kAudioVariable);
    const char* device = lookup(kDeviceVariable);
    options.audioSystem = system ? system : "";
    options.audioDevice = device ? device : "";
    const char* touch = lookup(kTouchVariable);
    options.touch = touch && std::strcmp(touch, "1") == 0;

    std::vector<char*> rest;
    for (int index = 0; index < argc; ++index) {
        const std::string argument = argv[index];
        std::string error;
        if (index == 0) {
            rest.push_back(argv[index]);
        } else if (argument == "--help" || argument == "-h") {
            options.action = Action::Help;
        } else if (argument == "--touch") {
            options.touch = true;
        } else if (argument == "--version") {
            if (options.action != Action::Help)
                options.action = Action::Version;
        } else if (argument == "--list-devices") {
            if (options.action == Action::Play) {
                options.action = Action::ListDevices;
            }
        } else if (TakeValue("--audio", argc, argv, index, options.audioSystem, error) ||
                   TakeValue("--device", argc, argv, index, options.audioDevice, error)) {
            if (!error.empty() && options.error.empty()) {
                options.error = error;
            }
        } else if (std::string keyName;
                   TakeValue("--key", argc, argv, index, keyName, error) ||
                   TakeValue("--scale", argc, argv, index, options.scaleFile, error) ||
                   TakeValue("--osc", argc, argv, index, options.osc, error)) {
            if (error.empty() && !keyName.empty() && !ParseNoteName(keyName, options.key))
                error = "--key takes a note name (D, F#3, Bb2) or a MIDI note 0..127, not \"" +
                        keyName.substr(0, 40) + "\"";
            if (!error.empty() && options.error.empty())
                options.error = error;
        } else if (argument == "--") {
            // The rest is the window system's.
            for (++index; index < argc; ++index) {
                rest.push_back(argv[index]);
            }
        } else if (argument.rfind("--", 0) == 0 && options.error.empty()) {
            options.error = "unknown option " + argument + "; see --help";
        } else {
            rest.push_back(argv[index]);
        }
    }
    // Help and the version answer whatever else the line says; a mistake is refused before
    // anything starts.
    if (options.action != Action::Help && options.action != Action::Version &&
        !options.error.empty()) {
        options.action = Action::Refuse;
    }
    argc = static_cast<int>(rest.size());
    for (std::size_t index = 0; index < rest.size(); ++index) {
        argv[index] = rest[index];
    }
    argv[argc] = nullptr;
    return options;
}

namespace {

// The help as a checkout's program gives it.
const char* CheckoutHelpText()
{
    return "Usage: quorvel [OPTION]... [WINDOW SYSTEM OPTION]...\n"
           "A harp played in the air: fingertips seen by a hand-tracking controller pluck\n"
           "vertical strings. Keys: 1-4 scale, a/z add/remove a string, f full screen,\n"
           "h banner, w/s redraw rate, +/- key a semitone up/down, t touch, c camera: set the\n"
           "string plane again, v camera: show/hide its picture, q quit.\n"
           "\n"
           "Options:\n"
           "  --audio=SYSTEM     sound system: jack, pulse or alsa (PipeWire serves as jack\n"
           "                     or pulse); default: JACK if a server runs, else PulseAudio,\n"
           "                     else plain ALSA\n"
           "  --device=DEVICE    output device of that system, by number or name (or a part\n"
           "                     of a name that fits one device); default: its default\n"
           "  --list-devices     list the sound systems and their output devices, and exit\n"
           "  --key=NOTE         note of the leftmost string: a name (D, F#3, Bb2; octave 1\n"
           "                     when none is given) or a MIDI note number; default G#1 (32)\n"
           "  --touch            each pluck as loud and bright as the sweep is fast (t\n"
           "                     switches it while playing); default: every pluck full\n"
           "  --osc=HOST:PORT    also send every pluck and fingertip as OSC over UDP\n"
           "  --scale=FILE.scl   play in a Scala tuning from the key upwards (keys 1-4 still\n"
           "                     choose the built-in scales)\n"
           "  -h, --help         show this help, and exit\n"
           "  --version          show the version, and exit\n"
           "  Other options (-display, -geometry, ...) go to the window system; so does\n"
           "  everything after --.\n"
           "\n"
           "Environment:\n"
           "  QUORVEL_AUDIO=SYSTEM          as --audio (the option wins)\n"
           "  QUORVEL_AUDIO_DEVICE=DEVICE   as --device (the option wins)\n"
           "  QUORVEL_TOUCH=1               as --touch\n"
           "  QUORVEL_TRACKING=SOURCE       where the fingertips come from:\n"
           "      service                      the tracking service on this machine\n"
           "                                   (ws://127.0.0.1:6437; the default)\n"
           "      service:ws://HOST:PORT/PATH  another tracking service\n"
           "      camera                       a camera, the first one found\n"
           "      camera:DEVICE                that camera (/dev/videoN or its number), or\n"
           "                                   a stream (an RTSP or HTTP address, a pipe)\n"
           "      video:PATH[,loop]            hands in a video file, once or over and over\n"
           "      replay:PATH[,loop]           a recorded performance, once or over and over\n"
           "      demo                         two fingertips sweeping the strings for ever\n"
           "      none                         no tracking\n"
           "  QUORVEL_TRACKING_RECORD=PATH  also record the frames to PATH (for replay:)\n"
           "  QUORVEL_CAMERA_MODEL=lite|full  the hand model of the camera source\n"
           "                                   (lite: faster; full: steadier)\n"
           "  QUORVEL_CAMERA_RUNTIME=onnxruntime|opencv  what runs the hand models; default:\n"
           "                                ONNX Runtime once scripts/models.sh set it up\n"
           "  QUORVEL_MODEL_DIR=DIR         where scripts/models.sh keeps the hand models\n"
           "                                (default ~/.cache/quorvel/models)\n"
           "  QUORVEL_MIDI=jack|alsa|off    where the MIDI port \"Quorvel\" goes; default: JACK\n"
           "                                if a server runs, else the ALSA sequencer\n";
}

} // namespace

std::string Options::HelpText()
{
    // Installed, the model set-up is not where a checkout has it.
    const std::string checkoutSetUp = "scripts/models.sh";
    std::string text = CheckoutHelpText();
    for (std::size_t at = 0; (at = text.find(checkoutSetUp, at)) != std::string::npos;) {
        text.replace(at, checkoutSetUp.size(), Leap::modelSetUpCommand());
        at += Leap::modelSetUpCommand().size();
    }
    return text;
}

std::string Options::VersionText()
{
    return "quorvel " QUORVEL_VERSION;
}

int Options::Answer(std::ostream& out, std::ostream& err) const
{
    switch (action) {
    case Action::Help:
        out << HelpText() << std::flush;
        return 0;
    case Action::Version:
        out << VersionText() << "\n" << std::flush;
        return 0;
    case Action::ListDevices:
        AudioDevices::Print(out, AudioDevices::Probe(JackServerFromEnvironment()));
        return 0;
    case Action::Refuse:
        err << "quorvel: " << error << "\n" << std::flush;
        return kUsageStatus;
    case Action::Play:
        break;
    }
    return 0;
}
