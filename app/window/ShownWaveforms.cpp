#include "app/window/ShownWaveforms.h"

const ShownWaveforms::Pairs& ShownWaveforms::Show(int index, int count, Pairs fresh,
                                                  Clock::time_point now)
{
    fShown.resize(static_cast<std::size_t>(count));
    Shown& shown = fShown[static_cast<std::size_t>(index)];
    if (!fresh.empty()) {
        shown.pairs.swap(fresh);
        shown.lastFresh = now;
    } else if (now - shown.lastFresh > kHold) {
        // The same number of pairs, so the line spans the window as a sounding string's does.
        for (auto& pair : shown.pairs)
            pair = {0.0f, 0.0f};
    }
    return shown.pairs;
}
