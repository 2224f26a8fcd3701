#include <cstdlib>
#include <iostream>

#include "AudioDevices.h"
#include "GLStuff.h"
#include "Heap.h"
#include "Options.h"
#include "RtAudioDriver.h"
#include "Shutdown.h"

int main(int argc, char** argv)
{
    KeepFreedHeapMapped();

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

    RtAudioDriver driver(256, 44100, 2, 0, audio.api, audio.device);
    GLStuff::RegisterAudio(&driver);

    GLStuff::GLStartup(argc, const_cast<const char**>(argv));

    std::cout << "byebye!\n" << std::flush;
    GLStuff::RegisterAudio(nullptr);
    return 0;
}
