#pragma once

#include <RtAudio.h>

#include <atomic>
#include <cstddef>

// Connects the AudioServer to the machine's default sound devices through RtAudio. The stream is
// full duplex (2 output channels, 1 input channel, 32-bit float, non-interleaved); a machine whose
// input refuses falls back to an output-only stream whose input the server sees as silence, and
// a machine that refuses both runs on without sound. The server is configured before the stream
// starts, so the first block always meets a configured server.
class RtAudioDriver {
public:
    // Largest block, in frames, for which the output-only stream can hand the server silence
    // as its input; a longer block is played as silence.
    static constexpr unsigned int kMaxSilentFrames = 8192;

    // What the stream callback reads and writes; lives as long as the driver.
    struct StreamState {
        // Output underflows reported by the library; audio thread writes, any thread reads.
        std::atomic<unsigned long> fUnderflows{0};
        // Stands in for the device input when the stream has none. Never written after start.
        float fSilence[kMaxSilentFrames] = {};
    };

    // bufferFrames: requested block length in frames; sampleRate in Hz; unusedChannels: ignored,
    // the output is always 2 channels; firstChannel: first output channel of the device.
    // Ends the process with status 1 when the machine has no audio device at all.
    RtAudioDriver(unsigned int bufferFrames, int sampleRate, int unusedChannels, int firstChannel);
    ~RtAudioDriver();

    RtAudioDriver(const RtAudioDriver&) = delete;
    RtAudioDriver& operator=(const RtAudioDriver&) = delete;

    // Stops and closes the stream; no callback runs after it returns. Safe to call again.
    void Cleanup();

    // Whether a stream is open and running (false when running without sound).
    bool IsRunning() const;
    // Output underflows since the stream started.
    unsigned long Underflows() const { return fState.fUnderflows.load(std::memory_order_relaxed); }

    // RtAudio stream callback, audio thread. userData is the driver's StreamState. Hands the
    // block to the AudioServer and returns 0 to keep the stream running.
    static int callback(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                        RtAudioStreamStatus status, void* userData);

private:
    // Opens and starts one stream; throws RtAudioError when the library refuses.
    void OpenAndStart(RtAudio::StreamParameters* output, RtAudio::StreamParameters* input,
                      unsigned int sampleRate, unsigned int bufferFrames);

    RtAudio::StreamOptions fOptions;
    int fChannels;
    RtAudio fAudio;
    StreamState fState;
    bool fUnderflowsReported = false;
};
