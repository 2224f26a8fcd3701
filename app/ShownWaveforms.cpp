#include "ShownWaveforms.h"

const ShownWaveforms::Pairs& ShownWaveforms::Show(int index, int count, Pairs fresh)
{
    fShown.resize(static_cast<std::size_t>(count));
    Pairs& shown = fShown[static_cast<std::size_t>(index)];
    if (!fresh.empty())
        shown.swap(fresh);
    return shown;
}
