#include "app/OptionTable.h"

#include <cstring>

#include "tracking/InstalledFiles.h"

namespace {

using Row = OptionTable::Row;
using Setting = OptionTable::Setting;
constexpr unsigned kPlayer = OptionTable::kPlayer;
constexpr unsigned kRenderer = OptionTable::kRenderer;
constexpr unsigned kBoth = kPlayer | kRenderer;

// Where the help of a row begins on its line, by section.
constexpr std::size_t kPlayerOptionColumn = 21;
constexpr std::size_t kVariableColumn = 32;
constexpr std::size_t kRendererOptionColumn = 18;

// A new option or variable gets one row here; the help lists them in this order.
const std::vector<Row> kRows = {
    {Setting::kAudio, kPlayer, "--audio", "SYSTEM", "QUORVEL_AUDIO", "SYSTEM",
     "sound system: jack, pulse or alsa (PipeWire serves as jack\n"
     "                     or pulse); default: JACK if a server runs, else PulseAudio,\n"
     "                     else plain ALSA"},
    {Setting::kDevice, kPlayer, "--device", "DEVICE", "QUORVEL_AUDIO_DEVICE", "DEVICE",
     "output device of that system, by number or name (or a part\n"
     "                     of a name that fits one device); default: its default"},
    {Setting::kListDevices, kPlayer, "--list-devices", nullptr, nullptr, nullptr,
     "list the sound systems and their output devices, and exit"},
    {Setting::kKey, kPlayer, "--key", "NOTE", nullptr, nullptr,
     "note of the leftmost string: a name (D, F#3, Bb2; octave 1\n"
     "                     when none is given) or a MIDI note number; default G#1 (32)"},
    {Setting::kTouch, kPlayer, "--touch", nullptr, "QUORVEL_TOUCH", "1",
     "each pluck as loud and bright as the sweep is fast (t\n"
     "                     switches it while playing); default: every pluck full"},
    {Setting::kOsc, kPlayer, "--osc", "HOST:PORT", nullptr, nullptr,
     "also send every pluck and fingertip as OSC over UDP"},
    {Setting::kScale, kPlayer, "--scale", "FILE.scl", nullptr, nullptr,
     "play in a Scala tuning from the key upwards (keys 1-4 still\n"
     "                     choose the built-in scales)"},
    {Setting::kTracking, kPlayer, nullptr, nullptr, "QUORVEL_TRACKING", "SOURCE",
     "where the fingertips come from:\n"
     "      service                      the tracking service on this machine\n"
     "                                   (ws://127.0.0.1:6437; the default)\n"
     "      service:ws://HOST:PORT/PATH  another tracking service\n"
     "      camera                       a camera, the first one found\n"
     "      camera:DEVICE                that camera (/dev/videoN or its number), or\n"
     "                                   a stream (an RTSP or HTTP address, a pipe)\n"
     "      video:PATH[,loop]            hands in a video file, once or over and over\n"
     "      replay:PATH[,loop]           a recorded performance, once or over and over\n"
     "      demo                         two fingertips sweeping the strings for ever\n"
     "      pointer                      the mouse; the left button held is past the\n"
     "                                   string plane (the right one opens the menu)\n"
     "      none                         no tracking"},
    {Setting::kTrackingRecord, kPlayer, nullptr, nullptr, "QUORVEL_TRACKING_RECORD", "PATH",
     "also record the frames to PATH (for replay:)"},
    {Setting::kCameraModel, kPlayer, nullptr, nullptr, "QUORVEL_CAMERA_MODEL", "lite|full",
     "the hand model of the camera source\n"
     "                                   (lite: faster; full: steadier)"},
    {Setting::kCameraRuntime, kPlayer, nullptr, nullptr, "QUORVEL_CAMERA_RUNTIME",
     "onnxruntime|opencv",
     "what runs the hand models; default:\n"
     "                                ONNX Runtime once scripts/models.sh set it up"},
    {Setting::kModelDir, kPlayer, nullptr, nullptr, "QUORVEL_MODEL_DIR", "DIR",
     "where scripts/models.sh keeps the hand models\n"
     "                                (default ~/.cache/quorvel/models)"},
    {Setting::kMidi, kPlayer, nullptr, nullptr, "QUORVEL_MIDI", "jack|alsa|off",
     "where the MIDI port \"Quorvel\" goes; default: JACK\n"
     "                                if a server runs, else the ALSA sequencer"},

    {Setting::kStrings, kRenderer, "--strings", "N", nullptr, nullptr,
     "play on N strings (1..30) throughout, whatever the recording says"},
    {Setting::kScale, kRenderer, "--scale", "NAME", nullptr, nullptr,
     "play in this scale throughout: pentatonic-major, pentatonic-minor,\n"
     "                  diatonic, whole-tone, or a Scala tuning FILE.scl"},
    {Setting::kKey, kRenderer, "--key", "NOTE", nullptr, nullptr,
     "note of the leftmost string throughout: a name (D, F#3, Bb2) or a\n"
     "                  MIDI note number"},
    {Setting::kRate, kRenderer, "--rate", "HZ", nullptr, nullptr,
     "sample rate (8000..192000; default 44100)"},
    {Setting::kTail, kRenderer, "--tail", "SECONDS", nullptr, nullptr,
     "decay rendered after the last frame (0..600; default 3)"},
    {Setting::kFloat, kRenderer, "--float", nullptr, nullptr, nullptr,
     "32-bit float samples (default: 16-bit integers)"},
    {Setting::kTouch, kRenderer, "--touch", nullptr, nullptr, nullptr,
     "velocity from the sweep's speed throughout, whatever the recording says"},

    {Setting::kHelp, kBoth, "--help", nullptr, nullptr, nullptr, "show this help, and exit"},
    {Setting::kVersion, kBoth, "--version", nullptr, nullptr, nullptr,
     "show the version, and exit"},
};

const char kPlayerHeader[] =
    "Usage: quorvel [OPTION]... [WINDOW SYSTEM OPTION]...\n"
    "A harp played in the air: fingertips seen by a hand-tracking controller pluck\n"
    "vertical strings. Keys: 1-4 scale, a/z add/remove a string, f full screen,\n"
    "h banner, w/s redraw rate, +/- key a semitone up/down, t touch, c camera: set the\n"
    "string plane again, v camera: show/hide its picture, q quit.\n"
    "\n"
    "Options:\n";
const char kPlayerOptionsEnd[] =
    "  Other options (-display, -geometry, ...) go to the window system; so does\n"
    "  everything after --.\n"
    "\n"
    "Environment:\n";

const char kRendererHeader[] =
    "usage: quorvel-render [options] PERFORMANCE.jsonl OUT.wav\n"
    "Plays a recorded performance (QUORVEL_TRACKING_RECORD) through the harp and writes what it\n"
    "sounds like to a WAV file, with no window and no sound device. Prints the instrument's lines\n"
    "(\"trig\", \"note: ...\") as it plays.\n";
const char kRendererEnd[] =
    "Without --strings or --scale the recording's own settings lines choose them; a recording\n"
    "without any starts on one string in the pentatonic major scale, as the instrument does.\n";

// One entry of the help: the name in its column, then the help from `column` on (or two spaces
// after a name too long for that).
std::string Entry(const std::string& name, const std::string& help, std::size_t column)
{
    std::string line = "  " + name;
    line += line.size() + 2 <= column ? std::string(column - line.size(), ' ') : "  ";
    return line + help + "\n";
}

std::string OptionName(const Row& row)
{
    std::string name = row.setting == Setting::kHelp ? "-h, " : "";
    name += row.option;
    if (row.optionValue)
        name += std::string("=") + row.optionValue;
    return name;
}

// The row of `program` whose option is `name`.
const Row* FindOption(unsigned program, const std::string& name)
{
    for (const Row& row : kRows) {
        if ((row.programs & program) && row.option && name == row.option)
            return &row;
    }
    return nullptr;
}

} // namespace

const std::vector<OptionTable::Row>& OptionTable::Rows()
{
    return kRows;
}

const OptionTable::Row* OptionTable::Find(Program program, Setting setting)
{
    for (const Row& row : kRows) {
        if ((row.programs & program) && row.setting == setting)
            return &row;
    }
    return nullptr;
}

OptionTable::Reading OptionTable::Read(Program program, int argc, char** argv, const Lookup& lookup)
{
    Reading reading;
    for (const Row& row : kRows) {
        if (!(row.programs & program) || !row.variable)
            continue;
        if (const char* value = lookup(row.variable); value && *value)
            reading.values[row.setting] = {value, row.variable};
    }
    auto refuse = [&reading](const std::string& error) {
        if (reading.error.empty())
            reading.error = error;
    };
    if (argc > 0)
        reading.rest.push_back(argv[0]);
    for (int index = 1; index < argc; ++index) {
        const std::string argument = std::strcmp(argv[index], "-h") == 0 ? "--help" : argv[index];
        if (argument == "--") {
            // The rest is the window system's, or the renderer's files.
            reading.rest.insert(reading.rest.end(), argv + index + 1, argv + argc);
            break;
        }
        const bool dashed = argument.size() > 1 && argument[0] == '-';
        if (!dashed || (program == kPlayer && argument.rfind("--", 0) != 0)) {
            reading.rest.push_back(argv[index]);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const Row* row = FindOption(program, name);
        if (!row) {
            refuse("unknown option " + argument + "; see --help");
            continue;
        }
        std::string value = "1";
        if (!row->optionValue && equals != std::string::npos) {
            refuse(name + " takes no value; see --help");
            continue;
        }
        if (row->optionValue) {
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (index + 1 < argc)
                value = argv[++index];
            else
                value.clear();
            if (value.empty()) {
                refuse(name + " needs a value; see --help");
                continue;
            }
        }
        reading.values[row->setting] = {value, name};
        reading.help = reading.help || row->setting == Setting::kHelp;
        reading.version = reading.version || row->setting == Setting::kVersion;
    }
    return reading;
}

const char* OptionTable::Name(Program program)
{
    return program == kPlayer ? "quorvel" : "quorvel-render";
}

std::string OptionTable::HelpText(Program program)
{
    const std::size_t column = program == kPlayer ? kPlayerOptionColumn : kRendererOptionColumn;
    std::string text = program == kPlayer ? kPlayerHeader : kRendererHeader;
    for (const Row& row : kRows) {
        if ((row.programs & program) && row.option)
            text += Entry(OptionName(row), row.help, column);
    }
    text += program == kPlayer ? kPlayerOptionsEnd : kRendererEnd;
    for (const Row& row : kRows) {
        if (!(row.programs & program) || !row.variable)
            continue;
        const std::string help =
            row.option ? "as " + std::string(row.option) + " (the option wins)" : row.help;
        text += Entry(std::string(row.variable) + "=" + row.variableValue, help, kVariableColumn);
    }
    // Installed, the model set-up is not where a checkout has it.
    const std::string checkoutSetUp = "scripts/models.sh";
    const std::string setUp = Leap::modelSetUpCommand();
    for (std::size_t at = 0; (at = text.find(checkoutSetUp, at)) != std::string::npos;) {
        text.replace(at, checkoutSetUp.size(), setUp);
        at += setUp.size();
    }
    return text;
}

std::string OptionTable::VersionText(Program program)
{
    return std::string(Name(program)) + " " QUORVEL_VERSION;
}
