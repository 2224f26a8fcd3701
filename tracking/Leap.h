#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json_fwd.hpp>

// Our own hand-tracking library: the controller, the frames it delivers and the listener it
// calls. Frames come from a FrameSource (a recorded performance, a built-in demo, the tracking
// service, or a test); the library knows nothing of the instrument.
namespace Leap {

class CameraView;

// A position in millimetres relative to the device: x to the right, y up, z towards the player.
struct Vector {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// The tip of a finger.
struct Tip {
    Vector position;
};

class Finger {
public:
    Finger() = default;
    Finger(int id, const Vector& tipPosition) : fId(id), fTip{tipPosition} {}
    // Stays the same for the same physical finger from frame to frame while it is tracked.
    int id() const { return fId; }
    const Tip& tip() const { return fTip; }

private:
    int fId = 0;
    Tip fTip;
};

class Hand {
public:
    Hand() = default;
    Hand(int id, std::vector<Finger> fingers) : fId(id), fFingers(std::move(fingers)) {}
    int id() const { return fId; }
    const std::vector<Finger>& fingers() const { return fFingers; }

private:
    int fId = 0;
    std::vector<Finger> fFingers;
};

class Frame {
public:
    Frame() = default;
    Frame(std::int64_t id, std::int64_t timestampMicros, std::vector<Hand> hands)
        : fId(id), fTimestamp(timestampMicros), fHands(std::move(hands)), fValid(true)
    {
    }
    std::int64_t id() const { return fId; }
    std::int64_t timestamp() const { return fTimestamp; } // microseconds
    const std::vector<Hand>& hands() const { return fHands; }
    // False for the empty frame returned when no frame (or no such history) exists.
    bool isValid() const { return fValid; }

private:
    std::int64_t fId = 0;
    std::int64_t fTimestamp = 0;
    std::vector<Hand> fHands;
    bool fValid = false;
};

class Controller;

// Callbacks, all on the controller's own thread, never overlapping.
class Listener {
public:
    virtual ~Listener() = default;
    virtual void onInit(const Controller&) {}
    virtual void onConnect(const Controller&) {}
    virtual void onDisconnect(const Controller&) {}
    virtual void onFrame(const Controller&) {}
    // A line of a recording that is no tracking message (another program's, such as the one
    // that made the recording), handed on whole for the listener to understand or ignore; the
    // object the source parsed it into is Controller::message(), so it is not parsed again.
    virtual void onMessage(const Controller&, const std::string& /*message*/) {}
    // What a camera source waits for has changed (Controller::cameraView()->status()).
    virtual void onStatus(const Controller&) {}
};

// What a frame source hands the controller.
struct SourceEvent {
    // kStatus: the source's CameraView has a new status; not a device event, never recorded.
    enum Kind { kConnect, kDisconnect, kFrame, kMessage, kStatus };
    Kind kind = kFrame;
    Frame frame;                                  // for kFrame
    std::string message;                          // for kMessage: the line as it was recorded
    std::shared_ptr<const nlohmann::json> object; // for kMessage: `message` parsed, if the source
                                                  // parsed it
};

// Produces events for one controller. next() and handled() run on the controller's thread;
// stop() may come from any thread.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Waits for the next event. Returns false once stop() has been called.
    virtual bool next(SourceEvent& event) = 0;
    // Makes a waiting or later next() return false promptly.
    virtual void stop() = 0;
    // The listener has returned from the event that the last next() gave.
    virtual void handled() {}
    // A line of the program's own for a recording being made (a JSON object), stamped there with
    // the frames' clock; nothing when the source records nothing. Any thread.
    virtual void annotate(const std::string& /*message*/) {}
    // Takes the player's position anew where the source has one (a camera's string plane);
    // nothing otherwise. Any thread.
    virtual void recalibrate() {}
    // What a camera sees, for a window to show; null for sources without a camera.
    virtual std::shared_ptr<CameraView> cameraView() const { return nullptr; }
};

class Controller {
public:
    // Frames from `source` (see makeSource for one chosen by the program's settings).
    Controller(Listener* listener, std::unique_ptr<FrameSource> source);
    // Stops the thread: no listener callback runs after the destructor returns. Never from one
    // of the controller's own callbacks. A program that may exit with a controller alive
    // destroys it first (the instrument's Shutdown does).
    ~Controller();

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // history 0 is the latest frame, 1 the one before, ...; an invalid Frame when there is none.
    Frame frame(int history = 0) const;
    bool isConnected() const;
    // Adds a JSON object of the program's own to the recording being made, if any, at the
    // current point of the frames (see FrameSource::annotate). Any thread, callbacks included.
    void record(const std::string& message) const;
    // Asks the source to take the player's position anew (see FrameSource::recalibrate).
    void recalibrate() const;
    // The source's camera view (see FrameSource::cameraView); null without a camera. Any thread.
    std::shared_ptr<CameraView> cameraView() const;
    // Inside onMessage: the line parsed, as the source parsed it; null when it did not, and
    // anywhere else. The controller's thread.
    const nlohmann::json* message() const { return fMessage; }

private:
    void run();
    void callListener(void (Listener::*callback)(const Controller&), const char* name);
    void deliver(SourceEvent& event);
    // Stops the source and joins the thread; safe to call more than once.
    void shutDown();

    static constexpr std::size_t kHistoryFrames = 60;

    Listener* fListener;
    std::unique_ptr<FrameSource> fSource;
    mutable std::mutex fHistoryLock;
    std::deque<Frame> fHistory; // newest first; guarded by fHistoryLock
    std::atomic<bool> fConnected{false};
    const nlohmann::json* fMessage = nullptr; // during onMessage; the controller's thread
    std::mutex fShutDownLock;                 // serialises shutDown
    std::thread fThread;                      // last: started once everything above exists
};

} // namespace Leap
