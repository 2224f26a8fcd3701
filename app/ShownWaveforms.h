#pragma once

#include <deque>
#include <utility>
#include <vector>

// The display pairs each string showed last. A tap hands over only what the audio thread made
// since the last frame, so a frame that comes sooner (a busy machine, a high refresh rate) finds
// none, and drawing that would take every string off the picture for a frame: such a frame shows
// the last pairs again. Window thread.
class ShownWaveforms {
public:
    using Pairs = std::deque<std::pair<float, float>>;

    // What string `index` of `count` shows now: `fresh` when the tap had pairs, else what it
    // showed last. Strings past `count` are forgotten.
    const Pairs& Show(int index, int count, Pairs fresh);

private:
    std::vector<Pairs> fShown;
};
