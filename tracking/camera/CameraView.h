#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace Leap {

// What a camera source sees, for a program that shows it: the newest image with the landmarks
// of the hands found on it, and what the tracker is waiting for. The source's thread publishes
// and one reader (a window) takes the newest, through three preallocated slots: neither side ever
// waits, nothing queues, and a newer picture replaces one not yet taken.
class CameraView {
public:
    // Hands the camera tracks at once: a player has two, and each costs a landmark pass an
    // image, so a third would only follow an onlooker at the player's expense.
    static constexpr int kMaxHands = 2;
    static constexpr int kLandmarks = 21;

    // A point of the image as captured (not mirrored): fractions of its width from the left and
    // of its height from the top.
    struct Point {
        float across = 0.0f;
        float down = 0.0f;
    };
    using Landmarks = std::array<Point, kLandmarks>;

    struct Picture {
        int width = 0;  // pixels
        int height = 0; // pixels
        // 8-bit blue, green, red, unused; rows top first, no padding. Sized at the first image.
        // Four bytes a pixel: a window uploads them as they are, with no conversion.
        std::vector<std::uint8_t> bgra;
        // Shown as a mirror, as the fingertips are placed (move right, the picture moves right).
        bool mirrored = false;
        int handCount = 0; // 0..kMaxHands
        std::array<Landmarks, kMaxHands> hands{};
    };

    enum class State {
        kStarting,  // loading the hand models, opening the camera
        kNoModels,  // the hand models cannot be used: tracking is off
        kNoCamera,  // the camera cannot be opened: tracking is off
        kNoHand,    // images come, no hand in them
        kHoldStill, // a hand is seen; held still it sets the depth of the string plane
        kReady,     // the string plane is set
        kTooDark,   // no hand seen, and the image too dark for the models to find one
        kLost,      // the camera stopped sending; it is tried again every second
        kEnded,     // the video is over
        kFailed,    // the hand models failed on an image; images go on without hands
        kRefused,   // the player did not allow the camera (a browser's permission)
    };

    struct Status {
        State state = State::kStarting;
        // With kHoldStill: how much longer the hand must stay still, tenths of a second.
        int stillTenthsLeft = 0;

        bool operator==(const Status& other) const
        {
            return state == other.state && stillTenthsLeft == other.stillTenthsLeft;
        }
        bool operator!=(const Status& other) const { return !(*this == other); }
    };

    // The source's thread: fill back(), then publish() it.
    Picture& back() { return fSlots[fBack]; }
    void publish();

    // The reader's thread: true when a picture newer than the last one taken has been published;
    // it is then front() until the next call that returns true.
    bool takeNewest();
    const Picture& front() const { return fSlots[fFront]; }

    // Any thread.
    Status status() const;
    void setStatus(const Status& status);

private:
    static constexpr int kFresh = 4; // with a slot's index in fMiddle: not yet taken

    std::array<Picture, 3> fSlots;
    int fBack = 0;               // the source's thread only
    int fFront = 1;              // the reader's thread only
    std::atomic<int> fMiddle{2}; // the slot between them, and kFresh
    mutable std::mutex fStatusLock;
    Status fStatus; // under fStatusLock
};

} // namespace Leap
