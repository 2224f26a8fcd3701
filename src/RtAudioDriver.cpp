#include "RtAudioDriver.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "AudioServer.h"

namespace {

// Enough device buffers for a glitch-free stream; PulseAudio otherwise takes its own default
// playback buffer (about 140 ms), and ALSA already uses 4 periods.
constexpr unsigned int kNumberOfBuffers = 4;
constexpr int kInputChannels = 1;

} // namespace

RtAudioDriver::RtAudioDriver(unsigned int bufferFrames, int sampleRate, int /*unusedChannels*/,
                             int firstChannel)
    : fOptions(), fChannels(2), fAudio()
{
    if (fAudio.getDeviceCount() == 0) {
        std::cout << "\nNo audio devices found!\n" << std::flush;
        std::exit(1);
    }
    fAudio.showWarnings(true);

    RtAudio::StreamParameters output;
    output.deviceId = fAudio.getDefaultOutputDevice();
    output.nChannels = static_cast<unsigned int>(fChannels);
    output.firstChannel = static_cast<unsigned int>(firstChannel);

    RtAudio::StreamParameters input;
    input.deviceId = fAudio.getDefaultInputDevice();
    input.nChannels = kInputChannels;
    input.firstChannel = 0;

    fOptions.flags = RTAUDIO_HOG_DEVICE | RTAUDIO_SCHEDULE_REALTIME | RTAUDIO_NONINTERLEAVED;
    fOptions.numberOfBuffers = kNumberOfBuffers;

    // Configured before any stream starts: the first block must meet a ready server. Its input
    // channel count stays 1, matching the duplex stream and the silence of the output-only one.
    AudioServer* server = AudioServer::GetInstance();
    server->SetFs(static_cast<float>(sampleRate));
    server->SetOutputChannels(fChannels);

    try {
        OpenAndStart(&output, &input, static_cast<unsigned int>(sampleRate), bufferFrames);
        return;
    } catch (const RtAudioError& error) {
        error.printMessage();
        Cleanup();
    }
    // Many machines have speakers and no microphone; the instrument never listens, so play on.
    try {
        OpenAndStart(&output, nullptr, static_cast<unsigned int>(sampleRate), bufferFrames);
    } catch (const RtAudioError& error) {
        error.printMessage();
        Cleanup();
    }
}

RtAudioDriver::~RtAudioDriver()
{
    Cleanup();
}

void RtAudioDriver::OpenAndStart(RtAudio::StreamParameters* output, RtAudio::StreamParameters* input,
                                 unsigned int sampleRate, unsigned int bufferFrames)
{
    // The library may settle on another block length; the server follows whatever it is given.
    unsigned int frames = bufferFrames;
    RtAudio::StreamOptions options = fOptions;
    fAudio.openStream(output, input, RTAUDIO_FLOAT32, sampleRate, &frames, &RtAudioDriver::callback,
                      &fState, &options);
    fAudio.startStream();
    std::cout << fAudio.getStreamSampleRate() << std::endl;
}

void RtAudioDriver::Cleanup()
{
    if (fAudio.isStreamRunning()) {
        try {
            fAudio.stopStream();
        } catch (const RtAudioError& error) {
            error.printMessage();
        }
    }
    if (fAudio.isStreamOpen()) {
        try {
            fAudio.closeStream();
        } catch (const RtAudioError& error) {
            error.printMessage();
        }
        const unsigned long underflows = Underflows();
        if (underflows > 0 && !fUnderflowsReported) {
            std::cerr << "audio output underflows: " << underflows << std::endl;
            fUnderflowsReported = true;
        }
    }
}

bool RtAudioDriver::IsRunning() const
{
    return fAudio.isStreamRunning();
}

int RtAudioDriver::callback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                            double /*streamTime*/, RtAudioStreamStatus status, void* userData)
{
    StreamState* state = static_cast<StreamState*>(userData);
    float* output = static_cast<float*>(outputBuffer);
    float* input = static_cast<float*>(inputBuffer);
    if (status & RTAUDIO_OUTPUT_UNDERFLOW) {
        state->fUnderflows.fetch_add(1, std::memory_order_relaxed);
    }
    if (input == nullptr) {
        if (frames > kMaxSilentFrames) {
            std::memset(output, 0, sizeof(float) * frames * AudioServer::GetInstance()->OutputChannels());
            return 0;
        }
        input = state->fSilence;
    }
    AudioServer::GetInstance()->AudioServerCallback(input, output, frames);
    return 0;
}
