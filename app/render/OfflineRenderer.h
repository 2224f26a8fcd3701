#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/RenderOptions.h"
#include "app/instrument/PerformanceSettings.h"
#include "tracking/recording/RecordingLoop.h"

typedef struct sf_private_tag SNDFILE;

// Plays a recorded performance into a WAV file with no window, no audio device and no tracking
// thread. The lines are taken in order (RecordingLoop): the harp's audio graph is rendered up to
// each line's moment on the recording's clock, then a frame goes to the instrument's own fingertip
// tracks and pluck detector and a settings line to the instrument's actions. Everything runs on the
// calling thread and the voices' noise is seeded first, so a render comes out the same every time.
// The harp and the audio server belong to the process: one render per process.
class OfflineRenderer : private Leap::RecordingLoop::Target {
public:
    // The render's settings: their own header, so the command line reads them without this one.
    using Options = RenderOptions;

    static constexpr int kBlockFrames = 256;   // longest pass of the audio graph, frames
    static constexpr int kWriteFrames = 16384; // frames gathered for one write to the file
    static constexpr int kChannels = 2;        // the harp plays the same signal on both
    static constexpr int kMinRate = RenderOptions::kMinRate;
    static constexpr int kMaxRate = RenderOptions::kMaxRate;
    static constexpr double kMaxTailSeconds = RenderOptions::kMaxTailSeconds;
    // A pause: time that brings no frame, that is a step of the recording's clock to a line that
    // is not a frame, or the part of a step to a frame beyond kFrameStepMicros. Pauses count
    // towards Options::pauseSeconds; past it they are cut out, so that a small file of timed
    // lines cannot render hours of silence.
    static constexpr std::int64_t kFrameStepMicros = 250000;
    static constexpr double kMaxPauseSeconds = RenderOptions::kMaxPauseSeconds;
    static constexpr long kMaxReportedLines = 20; // bad lines reported one by one, at most

    // `held`: the command line's settings, applied first and held against the recording's lines.
    OfflineRenderer(Options options, PerformanceSettings held);
    ~OfflineRenderer() override;

    // Renders the whole performance. 0 when the WAV file is written; otherwise 1 after one line
    // on `errors` saying why (a performance without a single frame among them), and no file
    // under the output's name. Bad lines of the recording are reported on `errors` with their
    // line number and skipped.
    int Run(std::ostream& errors);

    // Why writing `output` would lose something: it is `performance` itself, by any path or
    // link, holds anything but a sound file (perhaps another recording, whatever its first
    // line), or is no regular file (a device, a pipe). Empty when it is safe to write.
    static std::string OutputEndangers(const std::string& performance, const std::string& output);

    // From a signal handler (async-signal-safe): the render stops at its next block, or at once
    // when it waits for its input (a pipe), and removes its unfinished file. Interruption() is
    // then the signal's number, else 0.
    static void Interrupt(int signal);
    static int Interruption();

    // Seconds of audio rendered so far.
    double RenderedSeconds() const;

private:
    // The recording's lines, as RecordingLoop hands them: false, and play() returns, when a write
    // failed.
    bool frame(Leap::Frame& frame) override;
    bool foreign(Leap::ParsedMessage& message) override;
    std::string skipped(const std::string& error, std::size_t bytes) const override;
    // Renders the graph up to `sample` (frames since the start); false when a write failed.
    bool RenderUntil(std::int64_t sample);
    // Writes the frames gathered so far; false when the write failed.
    bool Flush();
    // The sample the recording's clock (microseconds, as RecordingReader keeps it) falls on,
    // pauses past the allowance cut out.
    std::int64_t SampleAt(std::int64_t clockMicros) const;
    // Counts the clock's step to the line just read, if any, towards the pauses; says so, once,
    // when the allowance is spent.
    void CountPause(bool frame);
    bool OpenOutput(std::ostream& errors);
    bool FinishOutput(std::ostream& errors);
    void DiscardOutput();

    const Options fOptions;
    const PerformanceSettings fHeld;
    std::unique_ptr<Leap::RecordingLoop> fInput;
    std::ostream* fErrors = nullptr; // Run's, while it runs
    std::string fTarget;             // the file the output names, through a link
    std::string fTempPath;
    int fTempFd = -1;
    SNDFILE* fSound = nullptr;
    std::string fWriteError;

    std::int64_t fClockMicros = 0;  // the recording's clock at the last line counted
    std::int64_t fPausedMicros = 0; // pauses rendered
    std::int64_t fCutMicros = 0;    // pauses cut out
    std::int64_t fRendered = 0;     // audio frames rendered
    int fGathered = 0;              // of those, frames waiting in fInterleaved

    std::vector<float> fChannels;    // kChannels blocks of kBlockFrames, one after another
    std::vector<float> fInterleaved; // kWriteFrames, channels side by side, for the file
};
