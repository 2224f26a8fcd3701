#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "AudioDevices.h"
#include "ConsoleWriter.h"
#include "ErrorLines.h"
#include "Heap.h"
#include "MidiOut.h"
#include "Options.h"
#include "QuitSignals.h"
#include "Render.h"
#include "RtAudioDriver.h"
#include "Shutdown.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    KeepFreedHeapMapped();
    GLStuff::WatchQuitSignals();

    // Before the window system: help and the device list need no display.
    const Options options = Options::Parse(argc, argv, std::getenv);
    if (options.action != Options::Action::Play) {
        return options.Answer(std::cout, std::cerr);
    }
    AudioDevices::Choice audio;
    std::string refusal;
    if (!AudioDevices::Choose(options.audioSystem, options.audioDevice, audio, refusal)) {
        std::cerr << "quorvel: " << refusal << "\n" << std::flush;
        return 2;
    }

    // Never destroyed: the exit handler still writes through it.
    auto* console = new ConsoleWriter(STDOUT_FILENO);
    std::cout.rdbuf(console);
    GLStuff::RegisterConsole(console);
    // Started from the menu there is no terminal: the banner shows why it cannot play. Never
    // destroyed, like the console.
    auto* errors = new ErrorLines(std::cerr.rdbuf());
    std::cerr.rdbuf(errors);
    GLStuff::ShowErrorsFrom(errors);

    RtAudioDriver driver(256, 44100, 2, 0, audio.api, audio.device);
    GLStuff::RegisterAudio(&driver);
    // Before the first pluck can come; reports on standard error only.
    MidiOut::GetInstance()->Start(std::getenv("QUORVEL_MIDI"), std::cerr);

    GLStuff::GLStartup(argc, const_cast<const char**>(argv));

    std::cout << "byebye!\n" << std::flush;
    GLStuff::Finish();
    GLStuff::RegisterAudio(nullptr);
    return 0;
}
