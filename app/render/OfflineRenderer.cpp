#include "app/render/OfflineRenderer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/instrument/Actions.h"
#include "app/instrument/Fingertips.h"
#include "app/instrument/Harp.h"
#include "src/AudioServer.h"
#include "tracking/FrameParser.h"

namespace {

// The voices' noise comes from rand(): one seed, one sound.
constexpr unsigned kNoiseSeed = 1;

constexpr auto kEnd = Leap::RecordingReader::Read::kEnd;
constexpr auto kMessage = Leap::RecordingReader::Read::kMessage;

// The number of the signal that asked the render to stop; 0 while none has.
volatile std::sig_atomic_t sInterruption = 0;
// The writing end of a pipe that wakes a wait for the input; -1 until Run makes it.
volatile std::sig_atomic_t sWake = -1;

} // namespace

OfflineRenderer::OfflineRenderer(Options options, PerformanceSettings held)
    : fOptions(std::move(options)), fHeld(std::move(held)), fChannels(kChannels * kBlockFrames),
      fInterleaved(kChannels * kWriteFrames)
{
}

OfflineRenderer::~OfflineRenderer()
{
    DiscardOutput();
}

void OfflineRenderer::Interrupt(int signal)
{
    sInterruption = signal;
    const int saved = errno;
    if (sWake >= 0)
        (void)!::write(sWake, "", 1);
    errno = saved;
}

int OfflineRenderer::Interruption()
{
    return sInterruption;
}

std::string OfflineRenderer::OutputEndangers(const std::string& performance,
                                             const std::string& output)
{
    struct stat out = {};
    if (::stat(output.c_str(), &out) != 0)
        return "";
    // A device or a pipe would be replaced by a file of its name, and a directory cannot be.
    if (!S_ISREG(out.st_mode))
        return "cannot write " + output + ": not a regular file; give a file name";
    struct stat in = {};
    if (::stat(performance.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        return output + " is the performance itself; give another output file";
    // Only an empty file or a sound file is written over: anything else may be a take, whatever
    // its first line holds (replay skips the lines it cannot read and plays the rest).
    char head[12] = {};
    std::ifstream existing(output, std::ios::binary);
    existing.read(head, sizeof head);
    if (existing.gcount() == 0 ||
        (existing.gcount() == sizeof head &&
         (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0) &&
         std::memcmp(head + 8, "WAVE", 4) == 0))
        return "";
    const int file = ::open(output.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file >= 0) {
        Leap::RecordingReader reader(file);
        Leap::ParsedMessage line;
        for (Leap::RecordingReader::Read read; (read = reader.next(line)) != kEnd;) {
            if (read == kMessage && line.kind != Leap::ParsedMessage::kError)
                return output + " holds a recorded performance; give another output file";
        }
    }
    return output + " is not a WAV file; give another output file";
}

double OfflineRenderer::RenderedSeconds() const
{
    return static_cast<double>(fRendered) / fOptions.rate;
}

int OfflineRenderer::Run(std::ostream& errors)
{
    const std::string& in = fOptions.performance;
    std::error_code error;
    if (std::filesystem::is_directory(in, error)) {
        errors << "quorvel-render: cannot read " << in << ": is a directory\n";
        return 1;
    }
    // A signal ends a wait for a pipe's data (the reader watches the wake pipe) and its opening
    // (not blocking: the reader waits for a writer in poll).
    int wake[2] = {-1, -1};
    if (sWake < 0 && ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0)
        sWake = wake[1];
    if (sInterruption != 0)
        return 1;
    const int file = ::open(in.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        errors << "quorvel-render: cannot read " << in << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    fErrors = &errors;
    fInput = std::make_unique<Leap::RecordingLoop>(
        file, wake[0], "quorvel-render: " + in,
        [&errors](const std::string& line) { errors << line << "\n"; }, kMaxReportedLines);
    if (!OpenOutput(errors))
        return 1;

    std::srand(kNoiseSeed);
    AudioServer* server = AudioServer::GetInstance();
    server->SetFs(static_cast<float>(fOptions.rate));
    server->SetOutputChannels(kChannels);
    Harp::GetInstance(); // built at this rate, on both output channels

    GLStuff::HoldSettings(fHeld);
    if (fHeld.ChangeAnything() && !GLStuff::ApplySettings(fHeld, errors)) {
        DiscardOutput();
        return 2; // as a refused option
    }

    const Leap::RecordingLoop::Played played = fInput->play(*this);
    if (played == Leap::RecordingLoop::Played::kEnd && !fInput->reader().failure().empty()) {
        DiscardOutput(); // the rest of the performance is missing; said by the loop
        return 1;
    }
    if (played == Leap::RecordingLoop::Played::kEnd && fInput->passFrames() == 0) {
        errors << "quorvel-render: " << fOptions.performance
               << ": no tracking frames in it; nothing written\n";
        DiscardOutput();
        return 1;
    }
    if (played != Leap::RecordingLoop::Played::kEnd ||
        !RenderUntil(fRendered + static_cast<std::int64_t>(fOptions.tailSeconds * fOptions.rate)) ||
        !Flush()) {
        if (sInterruption != 0) {
            DiscardOutput(); // perhaps gigabytes, and never finished
            return 1;
        }
        errors << "quorvel-render: cannot write " << fOptions.output << ": " << fWriteError << "\n";
        DiscardOutput();
        return 1;
    }
    return FinishOutput(errors) ? 0 : 1;
}

bool OfflineRenderer::frame(Leap::Frame& frame)
{
    CountPause(true);
    if (!RenderUntil(SampleAt(fInput->reader().clockMicros())))
        return false;
    GLStuff::Follow(frame);
    return true;
}

bool OfflineRenderer::foreign(Leap::ParsedMessage& message)
{
    CountPause(false);
    PerformanceSettings settings;
    std::string error;
    if (!PerformanceSettings::Read(*message.object, settings, error)) {
        if (!error.empty())
            fInput->reportLine("instrument settings ignored: " + error);
        return true;
    }
    if (message.timed && !RenderUntil(SampleAt(fInput->reader().clockMicros())))
        return false;
    settings.Apply(*fErrors); // less what the command line holds
    return true;
}

std::string OfflineRenderer::skipped(const std::string& error, std::size_t bytes) const
{
    if (bytes == 0)
        return error + "; skipped";
    return "line too long (at most " + std::to_string(Leap::kMaxMessageBytes) + " bytes); skipped";
}

void OfflineRenderer::CountPause(bool frame)
{
    const std::int64_t step = fInput->reader().clockMicros() - fClockMicros;
    if (step == 0)
        return;
    fClockMicros += step;
    const std::int64_t pause = frame ? std::max<std::int64_t>(0, step - kFrameStepMicros) : step;
    const auto allowed = static_cast<std::int64_t>(fOptions.pauseSeconds * 1e6);
    const std::int64_t kept = std::min(pause, std::max<std::int64_t>(0, allowed - fPausedMicros));
    if (kept < pause && fCutMicros == 0)
        *fErrors << "quorvel-render: " << fOptions.performance << ":"
                 << fInput->reader().lineNumber() << ": pauses add up to more than "
                 << fOptions.pauseSeconds
                 << " s; the rest are cut out (--pauses lifts the limit)\n";
    fPausedMicros += kept;
    fCutMicros += pause - kept;
}

std::int64_t OfflineRenderer::SampleAt(std::int64_t clockMicros) const
{
    // Rounded to the nearest sample; micros times a rate stays far inside 64 bits.
    return ((clockMicros - fCutMicros) * fOptions.rate + 500000) / 1000000;
}

bool OfflineRenderer::RenderUntil(std::int64_t sample)
{
    AudioServer* server = AudioServer::GetInstance();
    while (fRendered < sample) {
        if (sInterruption != 0)
            return false;
        const int frames =
            static_cast<int>(std::min<std::int64_t>(kBlockFrames, sample - fRendered));
        server->AudioServerCallback(nullptr, fChannels.data(), static_cast<unsigned>(frames));
        float* gathered = &fInterleaved[static_cast<std::size_t>(fGathered) * kChannels];
        for (int frame = 0; frame < frames; ++frame)
            for (int channel = 0; channel < kChannels; ++channel)
                gathered[frame * kChannels + channel] = fChannels[channel * frames + frame];
        fGathered += frames;
        fRendered += frames;
        if (fGathered > kWriteFrames - kBlockFrames && !Flush())
            return false;
    }
    return true;
}

bool OfflineRenderer::Flush()
{
    if (fGathered > 0 && sf_writef_float(fSound, fInterleaved.data(), fGathered) != fGathered) {
        fWriteError = sf_strerror(fSound);
        return false;
    }
    fGathered = 0;
    return true;
}

bool OfflineRenderer::OpenOutput(std::ostream& errors)
{
    // Through a link to the file it names; beside that, so the closing rename stays within one
    // file system.
    std::error_code error;
    fTarget = fOptions.output;
    if (std::filesystem::is_symlink(fTarget, error) && std::filesystem::exists(fTarget, error))
        fTarget = std::filesystem::canonical(fTarget, error).string();
    if (error)
        fTarget = fOptions.output;
    fTempPath = fTarget + ".XXXXXX";
    fTempFd = ::mkstemp(&fTempPath[0]);
    if (fTempFd < 0) {
        errors << "quorvel-render: cannot write " << fOptions.output << ": " << std::strerror(errno)
               << "\n";
        fTempPath.clear();
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fTempFd, 0666 & ~mask); // mkstemp makes it private; a sound file is not
    SF_INFO info{};
    info.samplerate = fOptions.rate;
    info.channels = kChannels;
    // RF64, written as plain WAV when it ends under 4 GiB: past that a WAV header's 32-bit sizes
    // wrap, and every reader would take the wrong length.
    info.format = SF_FORMAT_RF64 | (fOptions.floatSamples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    fSound = sf_open_fd(fTempFd, SFM_WRITE, &info, SF_FALSE);
    if (!fSound) {
        errors << "quorvel-render: cannot write " << fOptions.output << ": " << sf_strerror(nullptr)
               << "\n";
        DiscardOutput();
        return false;
    }
    sf_command(fSound, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Beyond full scale, integer samples clip instead of wrapping around.
    sf_command(fSound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool OfflineRenderer::FinishOutput(std::ostream& errors)
{
    std::string failure;
    if (sf_close(fSound) != 0)
        failure = sf_strerror(nullptr);
    fSound = nullptr;
    if (failure.empty() && ::fsync(fTempFd) != 0)
        failure = std::strerror(errno);
    if (::close(fTempFd) != 0 && failure.empty())
        failure = std::strerror(errno);
    fTempFd = -1;
    if (failure.empty() && std::rename(fTempPath.c_str(), fTarget.c_str()) != 0)
        failure = std::strerror(errno);
    if (!failure.empty()) {
        errors << "quorvel-render: cannot write " << fOptions.output << ": " << failure << "\n";
        DiscardOutput();
        return false;
    }
    fTempPath.clear();
    return true;
}

void OfflineRenderer::DiscardOutput()
{
    if (fSound)
        sf_close(fSound);
    fSound = nullptr;
    if (fTempFd >= 0)
        ::close(fTempFd);
    fTempFd = -1;
    if (!fTempPath.empty())
        ::unlink(fTempPath.c_str());
    fTempPath.clear();
}
