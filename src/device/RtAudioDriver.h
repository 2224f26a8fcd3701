#pragma once

#include <RtAudio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Connects the AudioServer to the machine's sound devices through RtAudio: the library's first
// sound system that has devices (JACK if a server runs, then PulseAudio, then ALSA) and its
// default output device, or the system and output device the player chose. The stream is output
// only (2 channels, 32-bit float, non-interleaved): the instrument never listens, and the server
// sees silence as its input. A machine that refuses it runs on without sound. The server is
// configured before the stream starts, so the first block always meets a configured server.
//
// The stream runs at the requested rate when the device offers it, else at the device's own (a
// JACK server's), and with the block length the system settles on (a JACK server's period).
//
// A glitch the library recovers from (ALSA's underrun, reported as a warning) costs a glitch and
// is counted. A running stream can be lost (the sound server dies, the device goes away): the
// library then stops it with an error, or, on ALSA, warns on every block; after kFailingBlocks
// blocks in a row that warn, the stream counts as lost too. A supervisor thread owned by the driver
// closes the lost stream from outside the audio thread, says so once on standard error, and
// reopens the stream every kReopenIntervalMs until the sound comes back. Only one driver may
// exist at a time: the library's error report carries no pointer to it.
class RtAudioDriver {
public:
    // Largest block, in frames, the output-only stream runs the server for (the most its input
    // copy holds); a longer block is played as silence.
    static constexpr unsigned int kMaxSilentFrames = 8192;
    // Time between attempts to reopen a lost stream, in milliseconds.
    static constexpr int kReopenIntervalMs = 2000;
    // Blocks in a row that each end in a warning, after which a stream counts as lost.
    static constexpr unsigned long kFailingBlocks = 50;
    // Blocks after a late block within which the library's underflow flag is the same glitch.
    static constexpr unsigned long kGlitchBlocks = 4;

    // What the stream callback reads and writes; lives as long as the driver.
    struct StreamState {
        // Output underflows reported by the library; audio thread writes, any thread reads.
        std::atomic<unsigned long> fUnderflows{0};
        // Set when the library reports the stream failed; cleared by the supervisor once it has
        // closed that stream. While set the callback plays silence without running the server,
        // since a failing stream calls it back as fast as the CPU allows.
        std::atomic<bool> fFailed{false};
        // Blocks handed to the callback since the stream opened; audio thread writes.
        std::atomic<unsigned long> fBlocks{0};
        // A block that starts more than this after the one before (ns; 0: never) found the
        // device buffer empty. Set before the stream starts.
        std::atomic<std::int64_t> fLateNs{0};
        // Start of the last block (0: none yet) and the last block that came late (0: none);
        // audio thread only, reset once the stream has closed.
        std::int64_t fLastBlockNs = 0;
        unsigned long fLateBlock = 0;
    };

    // bufferFrames: requested block length in frames; sampleRate in Hz; unusedChannels: ignored,
    // the output is always 2 channels; firstChannel: first output channel of the device; api: the
    // sound system (UNSPECIFIED: the library's choice); outputDevice: the output device's name
    // (empty: the system's default), looked up again on every reopen.
    // Ends the process with status 1 when the machine has no audio device at all.
    RtAudioDriver(unsigned int bufferFrames, int sampleRate, int unusedChannels, int firstChannel,
                  RtAudio::Api api = RtAudio::UNSPECIFIED, const std::string& outputDevice = "");
    ~RtAudioDriver();

    RtAudioDriver(const RtAudioDriver&) = delete;
    RtAudioDriver& operator=(const RtAudioDriver&) = delete;

    // Stops the supervisor, then stops and closes the stream; no callback runs after it returns.
    // Safe to call again. Not from the audio thread.
    void Cleanup();

    // Whether a stream is open and running (false when running without sound). Any thread.
    bool IsRunning() const { return fRunning.load(std::memory_order_acquire); }
    // Waits until the running stream has handed the server its first block, for at most
    // `patience`: what is played from then on is heard from its start. False when no block came
    // (no stream runs, or it is held up). Polls: the audio thread signals nobody. Not from the
    // audio thread.
    bool WaitForFirstBlock(std::chrono::milliseconds patience) const;
    // Output underflows since the first stream started.
    unsigned long Underflows() const { return fState.fUnderflows.load(std::memory_order_relaxed); }

    // RtAudio stream callback, audio thread. userData is the driver's StreamState. Hands the
    // block to the AudioServer and returns 0 to keep the stream running.
    static int callback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                        double streamTime, RtAudioStreamStatus status, void* userData);
    // Counts the underflows that block `block`, starting at nowNs (steady clock), tells of: the
    // library's flag, or a start more than StreamState::fLateNs after the block before. The
    // flag alone misses some: ALSA's PulseAudio plugin drops an underrun the server reports
    // between its pointer check and the next write, which a real-time audio thread often hits.
    // A flag within kGlitchBlocks after a late block is the same glitch. Audio thread.
    static void CountUnderflows(StreamState& state, RtAudioStreamStatus status, unsigned long block,
                                std::int64_t nowNs);
    // The library's error report (a warning, or a failure), on whichever thread met the error;
    // while a stream opens, a warning is about the attempt.
    static void OnStreamError(bool warning, const std::string& text);

private:
    // A warning about the running stream (audio thread): a failure once blocks keep warning.
    void ReportWarning(const std::string& text);
    void ReportFailure(const std::string& text);
    // The output device to open now: the chosen one by name, or the default; throws
    // std::runtime_error when the chosen one is gone.
    unsigned int OutputDevice();
    // The requested rate if the output device offers it, else the device's own rate, in Hz.
    unsigned int StreamRate(unsigned int requested);

    // Opens and starts the stream. Returns whether it runs. Loud: prints the library's messages and
    // the stream's rate (start-up).
    bool OpenLoud();
    // The same without a word, for the supervisor's attempts while the sound is gone.
    bool OpenQuiet();
    // Opens and starts the stream on the output device; throws std::runtime_error with the
    // library's message when it refuses.
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
    std::string fOutputDevice; // empty: the default output

    std::atomic<bool> fRunning{false};
    bool fUnderflowsReported = false;

    // The first failure message of a lost stream, copied without allocating on whichever thread
    // reports it; fFailureClaimed says a report owns the copy. Read by the supervisor.
    static constexpr std::size_t kFailureTextCapacity = 256;
    char fFailureText[kFailureTextCapacity] = {};
    std::atomic<bool> fFailureClaimed{false};
    // Set while Cleanup stops the stream: an error report then is printed as the library would.
    std::atomic<bool> fClosing{false};
    // Set while a stream opens, when the library may warn about the attempt; fLoud: say so.
    std::atomic<bool> fOpening{false};
    bool fLoud = true;
    // The block of the last warning and how many blocks in a row ended in one; written where
    // the library warns (the audio thread), reset when the stream closes.
    std::atomic<unsigned long> fLastWarningBlock{0};
    std::atomic<unsigned long> fWarningBlocks{0};

    // fQuit and fFailurePending under fSupervisorLock, which is never held across a library call
    // (the library reports errors synchronously, from inside its own lock).
    std::thread fSupervisor;
    std::mutex fSupervisorLock;
    std::condition_variable fSupervisorWake;
    bool fQuit = false;
    bool fFailurePending = false;
};
