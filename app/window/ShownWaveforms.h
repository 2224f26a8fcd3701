#pragma once

#include <chrono>
#include <deque>
#include <utility>
#include <vector>

// The display pairs each string showed last. A tap hands over only what the audio thread made
// since the last frame, so a frame that comes sooner (a busy machine, a high refresh rate) finds
// none, and drawing that would take every string off the picture for a frame: such a frame shows
// the last pairs again. When none come for longer than any such gap (the sound has stopped), the
// string is shown at rest. Window thread.
class ShownWaveforms {
public:
    using Pairs = std::deque<std::pair<float, float>>;
    using Clock = std::chrono::steady_clock;

    // Longer than the longest wait between two audio blocks while sound runs.
    static constexpr Clock::duration kHold = std::chrono::milliseconds(250);

    // What string `index` of `count` shows at `now`: `fresh` when the tap had pairs, else what it
    // showed last, at rest once kHold has passed. Strings past `count` are forgotten.
    const Pairs& Show(int index, int count, Pairs fresh, Clock::time_point now);

private:
    struct Shown {
        Pairs pairs;
        Clock::time_point lastFresh;
    };
    std::vector<Shown> fShown;
};
