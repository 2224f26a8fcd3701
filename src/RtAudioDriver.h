#pragma once

#include <RtAudio.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

// Connects the AudioServer to the machine's default output device through RtAudio. The stream is
// output only (2 channels, 32-bit float, non-interleaved) and the server sees silence as its
// input; a machine that refuses it runs on without sound. The server is configured before the
// stream starts, so the first block always meets a configured server.
//
// A running stream can be lost (the sound server dies, the device goes away): the library then
// fails every block at once and reports each failure. A supervisor thread owned by the driver
// closes the lost stream from outside the audio thread, says so once on standard error, and
// reopens the stream every kReopenIntervalMs until the sound comes back. Only one driver may
// exist at a time: the library's error report carries no pointer to it.
class RtAudioDriver {
public:
    // Largest block, in frames, for which the output-only stream can hand the server silence
    // as its input; a longer block is played as silence.
    static constexpr unsigned int kMaxSilentFrames = 8192;
    // Time between attempts to reopen a lost stream, in milliseconds.
    static constexpr int kReopenIntervalMs = 2000;

    // What the stream callback reads and writes; lives as long as the driver.
    struct StreamState {
        // Output underflows reported by the library; audio thread writes, any thread reads.
        std::atomic<unsigned long> fUnderflows{0};
        // Set when the library reports the stream failed; cleared by the supervisor once it has
        // closed that stream. While set the callback plays silence without running the server,
        // since a failing stream calls it back as fast as the CPU allows.
        std::atomic<bool> fFailed{false};
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

    // Stops the supervisor, then stops and closes the stream; no callback runs after it returns.
    // Safe to call again. Not from the audio thread.
    void Cleanup();

    // Whether a stream is open and running (false when running without sound). Any thread.
    bool IsRunning() const { return fRunning.load(std::memory_order_acquire); }
    // Output underflows since the first stream started.
    unsigned long Underflows() const { return fState.fUnderflows.load(std::memory_order_relaxed); }

    // RtAudio stream callback, audio thread. userData is the driver's StreamState. Hands the
    // block to the AudioServer and returns 0 to keep the stream running.
    static int callback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                        double streamTime, RtAudioStreamStatus status, void* userData);

private:
    // The library's error report for an open stream, on whichever thread met the error.
    static void OnStreamError(RtAudioError::Type type, const std::string& text);
    void ReportFailure(const std::string& text);

    // Opens and starts the stream. Returns whether it runs. Loud: prints the library's messages and
    // the stream's rate (start-up).
    bool OpenLoud();
    // The same without a word, for the supervisor's attempts while the sound is gone.
    bool OpenQuiet();
    // Opens and starts the stream on the default output device; throws RtAudioError when the
    // library refuses.
    void OpenAndStart();
    // Stops (or, for a failed stream, aborts) and closes whatever stream is open; never throws.
    void CloseStream(bool abort);
    // Supervisor thread: waits for a failure report, closes the stream, reopens it.
    void Supervise();

    RtAudio::StreamOptions fOptions;
    int fChannels;
    RtAudio fAudio;
    StreamState fState;
    unsigned int fSampleRate = 0;   // requested, Hz
    unsigned int fBufferFrames = 0; // requested, frames
    unsigned int fFirstChannel = 0;

    std::atomic<bool> fRunning{false};
    bool fUnderflowsReported = false;

    // The first failure message of a lost stream, copied without allocating on whichever thread
    // reports it; fFailureClaimed says a report owns the copy. Read by the supervisor.
    static constexpr std::size_t kFailureTextCapacity = 256;
    char fFailureText[kFailureTextCapacity] = {};
    std::atomic<bool> fFailureClaimed{false};
    // Set while Cleanup stops the stream: an error report then is printed as the library would.
    std::atomic<bool> fClosing{false};

    // fQuit and fFailurePending under fSupervisorLock, which is never held across a library call
    // (the library reports errors synchronously, from inside its own lock).
    std::thread fSupervisor;
    std::mutex fSupervisorLock;
    std::condition_variable fSupervisorWake;
    bool fQuit = false;
    bool fFailurePending = false;
};
