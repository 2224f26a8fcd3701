#pragma once

// Where the strings stand across the window: the one place both the pluck detector (what is
// heard) and the picture (what is seen) take it from. Positions are in normalised window units,
// x 0 at the left edge to 1 at the right.
namespace GLStuff {

// Horizontal distance between neighbouring strings, 1/numStrings (numStrings >= 1).
inline float StringSpacing(int numStrings)
{
    return 1.0f / static_cast<float>(numStrings);
}

// Where string `stringIndex` (0 = leftmost) stands at rest: (index + 0.5) / numStrings.
inline float StringRestX(int stringIndex, float spacing)
{
    return spacing * static_cast<float>(stringIndex) + spacing / 2.0f;
}

} // namespace GLStuff
