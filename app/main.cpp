#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <utility>

#include "app/ConsoleWriter.h"
#include "app/ErrorLines.h"
#include "app/Heap.h"
#include "app/JackServerFromEnvironment.h"
#include "app/Options.h"
#include "app/QuitSignals.h"
#include "app/Shutdown.h"
#include "app/Stage.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/Harp.h"
#include "app/instrument/HarpListener.h"
#include "app/midi/MidiOut.h"
#include "app/osc/OscOut.h"
#include "app/window/Startup.h"
#include "src/device/AudioDevices.h"
#include "src/device/RtAudioDriver.h"

int main(int argc, char** argv)
{
    KeepFreedHeapMapped();
    GLStuff::WatchQuitSignals();

    // Before the window system: help and the device list need no display. The only reading of
    // the environment: everything below takes its settings from here.
    Options options = Options::ParsePlayer(argc, argv, std::getenv);
    if (options.action != Options::Action::Play) {
        return options.AnswerPlayer(std::cout, std::cerr);
    }
    // The key is refused before anything starts; a bad tuning leaves the built-in scale.
    if (!options.SetUpTuning(std::cerr))
        return 2;
    Harp::SetRoom(options.room);
    AudioDevices::Choice audio;
    std::string refusal;
    if (!AudioDevices::Choose(options.audioSystem, options.audioDevice, JackServerFromEnvironment(),
                              audio, refusal)) {
        std::cerr << "quorvel: " << refusal << "\n" << std::flush;
        return 2;
    }

    // Refused before anything else starts; from here on every way out stops its thread.
    if (!options.osc.empty() && !OscOut::GetInstance()->Start(options.osc, std::cerr))
        return 2;

    // The long-lived parts, from here on started in order on the stage and stopped the other way
    // round, whichever way the program ends.
    Stage stage;
    GLStuff::RegisterStage(&stage);
    // Never destroyed: the exit handler still writes through it.
    auto* console = new ConsoleWriter(STDOUT_FILENO);
    std::cout.rdbuf(console);
    stage.UseConsole(console);
    // Started from the menu there is no terminal: the banner shows why it cannot play. Never
    // destroyed, like the console.
    auto* errors = new ErrorLines(std::cerr.rdbuf());
    std::cerr.rdbuf(errors);

    stage.StartAudio(std::make_unique<RtAudioDriver>(256, 44100, 2, 0, audio.api, audio.device));
    // Before the first pluck can come; reports on standard error only.
    MidiOut::GetInstance()->Start(options.midi.c_str(), JackServerFromEnvironment(), std::cerr);

    GLStuff::WindowHooks hooks;
    hooks.startTracking = [&stage, &options] {
        return stage.StartTracking(&listener, Leap::makeSource(options.tracking));
    };
    hooks.stopTracking = [&stage] { stage.StopTracking(); };
    hooks.quit = [] { GLStuff::QuitNow(); };
    hooks.tick = [] { TrimFreedHeapEveryMinute(); };
    hooks.lastError = [errors] { return errors->LastLine(); };
    GLStuff::GLStartup(argc, const_cast<const char**>(argv), std::move(hooks));

    std::cout << "byebye!\n" << std::flush;
    GLStuff::Finish();
    GLStuff::RegisterStage(nullptr);
    return 0;
}
