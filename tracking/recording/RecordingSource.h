#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tracking/Leap.h"
#include "tracking/ReportSink.h"

namespace Leap {

// Records what another source delivers: every frame and every connect or disconnect is appended
// to a file, one JSON message per line in the replay format, so that a performance played live
// can be replayed exactly (QUORVEL_TRACKING=replay:PATH). The tracking thread only formats the
// line and appends it to a bounded buffer; a writer thread of its own opens the file and writes.
// If the writer falls more than kMaxPendingBytes behind, lines are dropped (reported once); a
// file that cannot be opened or written is reported once and recording stops. Playing goes on.
// An earlier recording at the path is kept: the new one goes to the first free numbered name
// beside it (take.jsonl, take-2.jsonl, ...), said in one line. Lines the program adds through
// annotate() are stamped with the timestamp of the last frame recorded before them.
//
// Not the outputs' Worker (src/Worker.h, which the tracking library does not use): its lines have
// no one size, so its bound is in bytes, and its stop gives the writer a deadline (kDrainMs)
// rather than waiting for a disk that may not take the rest.
class RecordingSource : public FrameSource {
public:
    // Lines waiting for the writer, at most, in bytes: minutes of frames at the tracker's rate.
    static constexpr std::size_t kMaxPendingBytes = 4u << 20;
    // On stop, how long the writer may still take to write what is buffered, milliseconds.
    static constexpr int kDrainMs = 1000;

    RecordingSource(std::unique_ptr<FrameSource> source, std::string path,
                    ReportSink report = reportToStandardError);
    ~RecordingSource() override;

    bool next(SourceEvent& event) override;
    // Stops the wrapped source, then lets the writer finish (within kDrainMs) and close the file,
    // so that a recording is complete once stop() returns.
    void stop() override;
    void handled() override;
    // Recorded here, and passed on to the wrapped source as well.
    void annotate(const std::string& message) override;
    void recalibrate() override;
    std::shared_ptr<CameraView> cameraView() const override;

private:
    void record(const SourceEvent& event);
    void append(std::string line);
    void writeLoop();
    // Opens a new file for the recording, never one that holds an earlier recording.
    int openFresh();
    // Writes all of `bytes`; false after an error or when the drain deadline has passed.
    bool writeAll(int fd, const std::string& bytes);
    bool pastDrainDeadline();
    void fail(const std::string& line);

    std::unique_ptr<FrameSource> fSource;
    const std::string fPath;
    const ReportSink fReport;

    std::atomic<bool> fFailed{false}; // set under fLock by the writer: no more lines are taken

    std::mutex fLock;
    std::condition_variable fWake;
    std::string fPending;                                 // lines not yet written; guarded by fLock
    bool fClosing = false;                                // no more lines; guarded by fLock
    bool fDropReported = false;                           // guarded by fLock
    std::chrono::steady_clock::time_point fDrainDeadline; // fLock
    bool fHaveFrame = false;                              // guarded by fLock
    std::int64_t fLastTimestamp = 0; // of the last frame recorded, microseconds; fLock

    std::mutex fStopLock; // serialises stop()
    std::thread fWriter;  // last: started once everything above exists
};

// `source`, recorded to `path` when a path is given (QUORVEL_TRACKING_RECORD); else `source`
// itself.
std::unique_ptr<FrameSource> recordedIfAsked(std::unique_ptr<FrameSource> source, const char* path);

// The recording line for an event (no line end): a frame in the replay format, or a device event
// with streaming true for a connect and false for a disconnect.
std::string replayLine(const SourceEvent& event);

} // namespace Leap
