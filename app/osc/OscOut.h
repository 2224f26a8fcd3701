#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "app/instrument/InstrumentOutput.h"
#include "src/Worker.h"

// Sends what the player does to OSC receivers over UDP: every pluck as /quorvel/pluck (string,
// note, velocity; int32) and every fingertip of each frame as /quorvel/finger (id int32; x, y in
// normalised window units and z in tracker millimetres, float32), one bundle per frame stamped
// with the moment the frame was followed. A sender thread of its own (a Worker) does the sending:
// the tracking thread only fills a frame and hands it over, and when kQueueCapacity frames are
// already waiting the new one is dropped and counted, so a receiver that is not there never
// slows tracking. Until Start and after Stop every call does nothing.
class OscOut : public InstrumentOutput {
public:
    static constexpr int kQueueCapacity = 64; // frames waiting for the sender thread
    static constexpr int kMaxFingers = 20;    // fingertips a frame carries
    static constexpr int kMaxPlucks = 30;     // plucks a frame carries: one a string

    static OscOut* GetInstance();

    // `target` is HOST:PORT. False, with the reason on `report`, for an address that cannot be
    // used; the sender thread runs from here until Stop, and the instrument's fingertips and
    // plucks reach it.
    bool Start(const std::string& target, std::ostream& report);
    // Sends what is waiting, ends the sender thread and reports the frames dropped, if any, on
    // `report`. Safe to call more than once, and without Start.
    void Stop(std::ostream& report);
    bool IsRunning() const;

    // The tracking thread, one frame at a time: BeginFrame, then its fingertips and plucks,
    // then EndFrame hands the frame over.
    void BeginFrame() override;
    void Finger(int id, float x, float y, float z) override;
    void Pluck(int stringIndex, int note, int velocity);
    void EndFrame() override;
    void Plucked(int stringIndex, int note, int velocity) override
    {
        Pluck(stringIndex, note, velocity);
    }

    // Frames dropped because the queue was full, since Start.
    long Dropped() const;

    // "HOST:PORT" into its parts; false with the reason for a malformed one.
    static bool SplitTarget(const std::string& target, std::string& host, std::string& port,
                            std::string& error);

private:
    struct FingerMessage {
        int id;
        float x, y, z;
    };
    struct PluckMessage {
        int stringIndex, note, velocity;
    };
    struct FrameMessages {
        std::uint32_t seconds = 0; // OSC time tag: seconds since 1900 and fraction of 2^32
        std::uint32_t fraction = 0;
        int fingers = 0;
        int plucks = 0;
        FingerMessage finger[kMaxFingers];
        PluckMessage pluck[kMaxPlucks];
    };

    // Sender thread.
    void Send(const FrameMessages& frame);

    // Set between Start and Stop: lets the tracking thread skip everything when nothing is sent.
    std::atomic<bool> fActive{false};
    // Tracking thread only: the frame being filled.
    FrameMessages fFilling;
    bool fFillingOpen = false;

    std::mutex fLifecycleLock;                     // Start and Stop, one at a time
    void* fAddress = nullptr;                      // lo_address; the sender thread's while it runs
    Worker<FrameMessages, kQueueCapacity> fSender; // last: stopped before the above go
};
