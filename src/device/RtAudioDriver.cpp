#include "src/device/RtAudioDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "src/AudioServer.h"
#include "src/ConsoleLine.h"
#include "src/device/RtAudioVersion.h"

namespace {

// Enough device buffers for a glitch-free stream; PulseAudio otherwise takes its own default
// playback buffer (about 140 ms), and ALSA already uses 4 periods.
constexpr unsigned int kNumberOfBuffers = 4;

// The driver whose stream the library's error reports are about (there is one).
std::atomic<RtAudioDriver*> sReporting{nullptr};

// Says a message of the library's as the library itself would.
void PrintLibraryMessage(const std::string& text)
{
    WriteLine(std::cerr, "\n", text, "\n");
}

void OnLibraryError(rtaudio::ErrorType type, const std::string& text)
{
    if (!rtaudio::IsDebug(type)) {
        RtAudioDriver::OnStreamError(rtaudio::IsWarning(type), text);
    }
}

} // namespace

RtAudioDriver::RtAudioDriver(unsigned int bufferFrames, int sampleRate, int /*unusedChannels*/,
                             int firstChannel, RtAudio::Api api, const std::string& outputDevice)
    : fOptions(), fChannels(2), fAudio(api), fOutputDevice(outputDevice)
{
    if (fAudio.getDeviceCount() == 0) {
        WriteLine(std::cout, "\nNo audio devices found!");
        std::exit(1);
    }
    fAudio.showWarnings(true);

    fSampleRate = StreamRate(static_cast<unsigned int>(sampleRate));
    fBufferFrames = bufferFrames;
    fFirstChannel = static_cast<unsigned int>(firstChannel);
    fOptions.flags = RTAUDIO_HOG_DEVICE | RTAUDIO_SCHEDULE_REALTIME | RTAUDIO_NONINTERLEAVED;
    fOptions.numberOfBuffers = kNumberOfBuffers;
    // What a patchbay or the desktop's mixer shows, rather than the library's own name. Under
    // JACK the MIDI port's client is already "Quorvel".
    fOptions.streamName =
        fAudio.getCurrentApi() == RtAudio::UNIX_JACK ? "Quorvel-audio" : "Quorvel";

    // Configured before any stream starts: the first block must meet a ready server. Its input
    // channel count stays 1, matching the silence the callback hands it as input.
    AudioServer* server = AudioServer::GetInstance();
    server->SetFs(static_cast<float>(fSampleRate));
    server->SetOutputChannels(fChannels);

    sReporting.store(this, std::memory_order_release);
#if QUORVEL_RTAUDIO_6
    // RtAudio 6 reports every call's errors here, including those of the opening itself.
    fAudio.setErrorCallback(&OnLibraryError);
#endif
    // A stream that never opened is not watched: the program runs on without sound.
    if (OpenLoud()) {
        fSupervisor = std::thread(&RtAudioDriver::Supervise, this);
    }
}

RtAudioDriver::~RtAudioDriver()
{
    Cleanup();
}

bool RtAudioDriver::OpenLoud()
{
    try {
        OpenAndStart();
        WriteLine(std::cout, fAudio.getStreamSampleRate());
        return true;
    } catch (const std::runtime_error& error) {
        PrintLibraryMessage(error.what());
        CloseStream(false);
    }
    return false;
}

bool RtAudioDriver::OpenQuiet()
{
    // Every failed attempt would otherwise print the library's complaints, every 2 s.
    fAudio.showWarnings(false);
    fLoud = false;
    bool running = false;
    try {
        OpenAndStart();
        running = true;
    } catch (const std::runtime_error&) {
        CloseStream(true);
    }
    fLoud = true;
    fAudio.showWarnings(true);
    return running;
}

void RtAudioDriver::OpenAndStart()
{
    // Until the stream runs, a warning is about this attempt (cleared on every way out).
    struct Opening {
        std::atomic<bool>& flag;
        explicit Opening(std::atomic<bool>& opening) : flag(opening) { flag.store(true); }
        ~Opening() { flag.store(false); }
    } opening(fOpening);
    // Looked up on every attempt: the devices may have other numbers once the sound system is back.
    RtAudio::StreamParameters output;
    output.deviceId = OutputDevice();
    output.nChannels = static_cast<unsigned int>(fChannels);
    output.firstChannel = fFirstChannel;

    // The library may settle on another block length; the server follows whatever it is given.
    unsigned int frames = fBufferFrames;
    RtAudio::StreamOptions options = fOptions;
    // No input: the instrument never listens, and an input stream that nobody reads piles up
    // inside the sound library (PulseAudio keeps up to 4 MB of it, at a heap block per fragment).
#if QUORVEL_RTAUDIO_6
    rtaudio::Check(fAudio, [&] {
        return fAudio.openStream(&output, nullptr, RTAUDIO_FLOAT32, fSampleRate, &frames,
                                 &RtAudioDriver::callback, &fState, &options);
    });
#else
    // RtAudio 5 takes the error report with each stream.
    rtaudio::Check(fAudio, [&] {
        fAudio.openStream(&output, nullptr, RTAUDIO_FLOAT32, fSampleRate, &frames,
                          &RtAudioDriver::callback, &fState, &options, &OnLibraryError);
    });
#endif
    // Twice the device buffer's playing time: a sound server that takes its blocks in bursts
    // nearly the buffer long (PulseAudio behind ALSA does) is not taken for an underrun. A system
    // that keeps fewer buffers (JACK) still counts only a block held up this long.
    const unsigned int rate = fAudio.getStreamSampleRate();
    const std::int64_t buffers = std::max(options.numberOfBuffers, kNumberOfBuffers);
    fState.fLateNs.store(rate == 0 ? 0 : 2 * buffers * frames * 1000000000LL / rate,
                         std::memory_order_relaxed);
    rtaudio::Check(fAudio, [&] { return fAudio.startStream(); });
    // With an error report registered, RtAudio 5 reports a failed start there, not by throwing.
    if (fState.fFailed.load(std::memory_order_acquire)) {
        throw rtaudio::Failure(fFailureText);
    }
    fRunning.store(true, std::memory_order_release);
}

void RtAudioDriver::CloseStream(bool abort)
{
    fRunning.store(false, std::memory_order_release);
    if (fAudio.isStreamRunning()) {
        try {
            // A failed stream has nothing to drain; stopping would wait on the lost connection.
            rtaudio::Check(fAudio,
                           [&] { return abort ? fAudio.abortStream() : fAudio.stopStream(); });
        } catch (const rtaudio::Failure& failure) {
            PrintLibraryMessage(failure.what());
        }
    }
    if (fAudio.isStreamOpen()) {
        try {
            rtaudio::Check(fAudio, [&] { fAudio.closeStream(); });
        } catch (const rtaudio::Failure& failure) {
            PrintLibraryMessage(failure.what());
        }
    }
    // The library's audio thread has ended: no report about this stream can come any more.
    fState.fFailed.store(false, std::memory_order_release);
    fState.fBlocks.store(0, std::memory_order_relaxed);
    fState.fLastBlockNs = 0;
    fState.fLateBlock = 0;
    fLastWarningBlock.store(0, std::memory_order_relaxed);
    fWarningBlocks.store(0, std::memory_order_relaxed);
    fFailureClaimed.store(false, std::memory_order_release);
    std::lock_guard<std::mutex> lock(fSupervisorLock);
    fFailurePending = false;
}

void RtAudioDriver::Cleanup()
{
    {
        std::lock_guard<std::mutex> lock(fSupervisorLock);
        fQuit = true;
    }
    fSupervisorWake.notify_one();
    if (fSupervisor.joinable()) {
        fSupervisor.join();
    }

    fClosing.store(true, std::memory_order_release);
    CloseStream(fState.fFailed.load(std::memory_order_acquire));
    const unsigned long underflows = Underflows();
    if (underflows > 0 && !fUnderflowsReported) {
        WriteLine(std::cerr, "audio output underflows: ", underflows);
        fUnderflowsReported = true;
    }
    RtAudioDriver* self = this;
    sReporting.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

bool RtAudioDriver::WaitForFirstBlock(std::chrono::milliseconds patience) const
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (fState.fBlocks.load(std::memory_order_relaxed) == 0) {
        if (!IsRunning() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void RtAudioDriver::OnStreamError(bool warning, const std::string& text)
{
    RtAudioDriver* driver = sReporting.load(std::memory_order_acquire);
    if (driver == nullptr) {
        return;
    }
    if (warning && driver->fOpening.load(std::memory_order_acquire)) {
        // About the attempt, not a running stream: said only where the library would say it.
        if (driver->fLoud) {
            PrintLibraryMessage(text);
        }
        return;
    }
    // The library goes on with a stream it only warns about, and stops one it reports an error
    // for.
    if (warning) {
        driver->ReportWarning(text);
    } else {
        driver->ReportFailure(text);
    }
}

void RtAudioDriver::ReportWarning(const std::string& text)
{
    // A recovered underrun warns once and the next blocks play; a device that has gone away
    // warns on every block, and the library runs the stream on as fast as it can.
    const unsigned long block = fState.fBlocks.load(std::memory_order_relaxed);
    const unsigned long last = fLastWarningBlock.exchange(block, std::memory_order_relaxed);
    if (block == last) {
        return; // another warning about the same block (its input and its output)
    }
    unsigned long inARow = 1;
    if (block == last + 1) {
        inARow = fWarningBlocks.fetch_add(1, std::memory_order_relaxed) + 1;
    } else {
        fWarningBlocks.store(1, std::memory_order_relaxed);
    }
    if (inARow >= kFailingBlocks) {
        ReportFailure(text);
    }
}

unsigned int RtAudioDriver::OutputDevice()
{
    if (fOutputDevice.empty()) {
        return fAudio.getDefaultOutputDevice();
    }
    unsigned int found = 0;
    bool there = false;
    rtaudio::Check(fAudio, [&] {
        for (const unsigned int id : rtaudio::DeviceIds(fAudio)) {
            const RtAudio::DeviceInfo info = fAudio.getDeviceInfo(id);
            if (!there && rtaudio::Probed(info) && info.outputChannels > 0 &&
                info.name == fOutputDevice) {
                found = id;
                there = true;
            }
        }
    });
    if (!there) {
        throw rtaudio::Failure("output device \"" + fOutputDevice + "\" is not there");
    }
    return found;
}

unsigned int RtAudioDriver::StreamRate(unsigned int requested)
{
    try {
        RtAudio::DeviceInfo info;
        const unsigned int device = OutputDevice();
        rtaudio::Check(fAudio, [&] { info = fAudio.getDeviceInfo(device); });
        const auto& rates = info.sampleRates;
        if (std::find(rates.begin(), rates.end(), requested) == rates.end() &&
            info.preferredSampleRate > 0) {
            return info.preferredSampleRate;
        }
    } catch (const rtaudio::Failure&) {
        // Opening the stream says what is wrong.
    }
    return requested;
}

void RtAudioDriver::ReportFailure(const std::string& text)
{
    // A lost stream reports every block it fails; only the first report counts.
    if (fFailureClaimed.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    const std::size_t length = std::min(text.size(), kFailureTextCapacity - 1);
    std::memcpy(fFailureText, text.data(), length);
    fFailureText[length] = '\0';
    if (fClosing.load(std::memory_order_acquire)) {
        // Quitting: say it as the library would have without a report function.
        PrintLibraryMessage(fFailureText);
    }
    // Published after the text: whoever sees the flag may read the text.
    fState.fFailed.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(fSupervisorLock);
        fFailurePending = true;
    }
    fSupervisorWake.notify_one();
}

void RtAudioDriver::Supervise()
{
    using Clock = std::chrono::steady_clock;
    bool lost = false;
    Clock::time_point nextAttempt;
    std::unique_lock<std::mutex> lock(fSupervisorLock);
    for (;;) {
        if (lost) {
            fSupervisorWake.wait_until(lock, nextAttempt, [this] { return fQuit; });
        } else {
            fSupervisorWake.wait(lock, [this] { return fQuit || fFailurePending; });
        }
        if (fQuit) {
            return;
        }
        // Never across a library call: the library reports errors from inside its own lock.
        lock.unlock();
        if (!lost) {
            const std::string reason(fFailureText);
            CloseStream(true);
            // One write a line: the library prints from the stream's own thread meanwhile.
            WriteLine(std::cerr, "audio stream lost (", reason, "); trying to reopen it every ",
                      kReopenIntervalMs / 1000, " s");
            lost = true;
            nextAttempt = Clock::now() + std::chrono::milliseconds(kReopenIntervalMs);
        } else if (OpenQuiet()) {
            WriteLine(std::cerr, "audio stream reopened");
            lost = false;
        } else {
            nextAttempt = Clock::now() + std::chrono::milliseconds(kReopenIntervalMs);
        }
        lock.lock();
    }
}

int RtAudioDriver::callback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                            double /*streamTime*/, RtAudioStreamStatus status, void* userData)
{
    StreamState* state = static_cast<StreamState*>(userData);
    float* output = static_cast<float*>(outputBuffer);
    float* input = static_cast<float*>(inputBuffer);
    const unsigned long block = state->fBlocks.fetch_add(1, std::memory_order_relaxed) + 1;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    CountUnderflows(*state, status, block,
                    std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    // Lost: the blocks go nowhere, and running the server for them would only take its lock
    // from the other threads as fast as the CPU allows.
    if (state->fFailed.load(std::memory_order_relaxed) ||
        (input == nullptr && frames > kMaxSilentFrames)) {
        std::memset(output, 0,
                    sizeof(float) * frames * AudioServer::GetInstance()->OutputChannels());
        return 0;
    }
    // An output-only stream has no input: the server copies silence for each of its channels.
    AudioServer::GetInstance()->AudioServerCallback(input, output, frames);
    return 0;
}

void RtAudioDriver::CountUnderflows(StreamState& state, RtAudioStreamStatus status,
                                    unsigned long block, std::int64_t nowNs)
{
    const std::int64_t lateNs = state.fLateNs.load(std::memory_order_relaxed);
    const bool late = lateNs > 0 && state.fLastBlockNs != 0 && nowNs - state.fLastBlockNs > lateNs;
    state.fLastBlockNs = nowNs;
    if (late) {
        state.fLateBlock = block;
    } else if (!(status & RTAUDIO_OUTPUT_UNDERFLOW) ||
               (state.fLateBlock != 0 && block - state.fLateBlock <= kGlitchBlocks)) {
        return;
    }
    state.fUnderflows.fetch_add(1, std::memory_order_relaxed);
}
