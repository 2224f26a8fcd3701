// quorvel-render: a recorded performance to a WAV file, faster than real time.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/Options.h"
#include "app/instrument/Harp.h"
#include "app/render/OfflineRenderer.h"
#include "tracking/InstalledFiles.h"

namespace {

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
    Options parsed = Options::ParseRenderer(argc, argv, std::getenv);
    if (parsed.action != Options::Action::Play)
        return parsed.Answer(std::cout, std::cerr);
    if (!parsed.SetUpTuning(std::cerr))
        return 2;
    OfflineRenderer::Options options = parsed.render;
    const std::string given = options.performance;
    options.performance = Leap::findPerformance(given);
    const std::string danger = OfflineRenderer::OutputEndangers(given, options.output);
    if (!danger.empty()) {
        std::cerr << "quorvel-render: " << danger << "\n";
        return 2;
    }

    CatchQuitSignals();
    Harp::SetRoom(parsed.room);
    const int status = OfflineRenderer(options, parsed.settings).Run(std::cerr);
    if (status != 0 && OfflineRenderer::Interruption() != 0) {
        // Ended as the signal would have ended it, now that the file is gone.
        std::signal(OfflineRenderer::Interruption(), SIG_DFL);
        std::raise(OfflineRenderer::Interruption());
    }
    return status;
}
