// quorvel-render: a recorded performance to a WAV file, faster than real time.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "Harp.h"
#include "OfflineRenderer.h"
#include "PerformanceSettings.h"

namespace {

const char kUsage[] =
    "usage: quorvel-render [options] PERFORMANCE.jsonl OUT.wav\n"
    "Plays a recorded performance (QUORVEL_TRACKING_RECORD) through the harp and writes what it\n"
    "sounds like to a WAV file, with no window and no sound device. Prints the instrument's lines\n"
    "(\"trig\", \"note: ...\") as it plays.\n"
    "  --strings N     play on N strings (1..30) throughout, whatever the recording says\n"
    "  --scale NAME    play in this scale throughout: pentatonic-major, pentatonic-minor,\n"
    "                  diatonic, whole-tone\n"
    "  --rate HZ       sample rate (8000..192000; default 44100)\n"
    "  --tail SECONDS  decay rendered after the last frame (0..600; default 3)\n"
    "  --float         32-bit float samples (default: 16-bit integers)\n"
    "  --help          this text\n"
    "Without --strings or --scale the recording's own settings lines choose them; a recording\n"
    "without any starts on one string in the pentatonic major scale, as the instrument does.\n";

bool ReadNumber(const std::string& text, double low, double high, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(value >= low && value <= high))
        return false;
    out = value;
    return true;
}

int Refuse(const std::string& what)
{
    std::cerr << "quorvel-render: " << what << "\n(quorvel-render --help for the options)\n";
    return 2;
}

extern "C" void OnQuitSignal(int signal)
{
    OfflineRenderer::Interrupt(signal);
}

// Ctrl-C and the like stop the render; the renderer removes its unfinished file. A signal the
// parent set to be ignored (nohup) stays ignored.
void CatchQuitSignals()
{
    struct sigaction handler = {};
    handler.sa_handler = OnQuitSignal;
    handler.sa_flags = SA_RESTART; // writes go on until the render looks at the flag
    sigemptyset(&handler.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaction(signal, &handler, nullptr);
    }
}

} // namespace

int main(int argc, char** argv)
{
    OfflineRenderer::Options options;
    std::string files[2];
    int fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--float") {
            options.floatSamples = true;
            continue;
        }
        const bool takesValue = argument == "--strings" || argument == "--scale" ||
                                argument == "--rate" || argument == "--tail";
        if (takesValue) {
            if (i + 1 >= argc)
                return Refuse(argument + " needs a value");
            const std::string value = argv[++i];
            double number = 0.0;
            if (argument == "--scale") {
                const std::string error = PerformanceSettings::ScaleError(value);
                if (!error.empty())
                    return Refuse("--scale: " + error);
                options.scale = value;
            } else if (argument == "--strings") {
                if (!ReadNumber(value, Harp::kMinStrings, Harp::kMaxStrings, number) ||
                    number != static_cast<int>(number))
                    return Refuse("--strings takes a whole number from 1 to 30, not \"" + value +
                                  "\"");
                options.strings = static_cast<int>(number);
            } else if (argument == "--rate") {
                if (!ReadNumber(value, OfflineRenderer::kMinRate, OfflineRenderer::kMaxRate,
                                number) ||
                    number != static_cast<int>(number))
                    return Refuse("--rate takes a whole number of Hz from 8000 to 192000, not \"" +
                                  value + "\"");
                options.rate = static_cast<int>(number);
            } else {
                if (!ReadNumber(value, 0.0, OfflineRenderer::kMaxTailSeconds, number))
                    return Refuse("--tail takes seconds from 0 to 600, not \"" + value + "\"");
                options.tailSeconds = number;
            }
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-')
            return Refuse("unknown option " + argument);
        if (fileCount == 2)
            return Refuse("one performance and one output file, not more");
        files[fileCount++] = argument;
    }
    if (fileCount != 2)
        return Refuse("needs a performance and an output file");
    options.performance = files[0];
    options.output = files[1];
    const std::string danger = OfflineRenderer::OutputEndangers(files[0], files[1]);
    if (!danger.empty()) {
        std::cerr << "quorvel-render: " << danger << "\n";
        return 2;
    }

    CatchQuitSignals();
    const int status = OfflineRenderer(options).Run(std::cerr);
    if (status != 0 && OfflineRenderer::Interruption() != 0) {
        // Ended as the signal would have ended it, now that the file is gone.
        std::signal(OfflineRenderer::Interruption(), SIG_DFL);
        std::raise(OfflineRenderer::Interruption());
    }
    return status;
}
