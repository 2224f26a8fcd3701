#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/instrument/StringLayout.h"

// The picture's arithmetic, kept apart from GL so it can be checked without a display. Positions
// are in normalised window units (x 0 at the left edge to 1 at the right, y 0 at the bottom to 1
// at the top) unless a name says pixels.
namespace GLStuff {

struct Color {
    float red;
    float green;
    float blue;
    float alpha;
};

// How far a full-scale sample moves a string's line: the spacing, but never more than 0.1 of the
// window width.
inline double WaveformSwing(float spacing)
{
    return std::min<double>(spacing, 0.1);
}

// Pink for the strings that sound the scale's first note in each octave, grey for the others.
Color StringColor(int stringIndex, int scaleIntervals);

// The signed peak of one display pair (maximum, minimum): the element of larger magnitude,
// the minimum when they are equal.
inline float PairPeak(const std::pair<float, float>& maxMin)
{
    return std::abs(maxMin.first) > std::abs(maxMin.second) ? maxMin.first : maxMin.second;
}

// Horizontal position of a waveform vertex whose signed peak is `peak` (full scale 1.0).
inline float WaveformX(float restX, float peak, double swing)
{
    return static_cast<float>(restX + peak * swing);
}

// Height of vertex `vertexIndex` of `vertexCount`: the oldest on the bottom edge, the newest one
// step below the top.
inline float WaveformY(int vertexIndex, int vertexCount)
{
    return static_cast<float>(vertexIndex) * (1.0f / static_cast<float>(vertexCount));
}

// How one fingertip is drawn: an aspect correction that keeps the spheres round, an outer sphere
// and an inner sphere scaled by innerScale inside it.
struct FingertipLook {
    float aspectScaleX;
    float aspectScaleY;
    Color outer;
    Color inner;
    float innerScale;
};

// Radius of both fingertip spheres before scaling, in normalised window units.
constexpr double kFingertipRadius = 0.025;
constexpr int kFingertipSlices = 50;
constexpr int kFingertipStacks = 50;

// nearness: 1 - z/300 for tracker depth z in mm (1 on the string plane). width, height: window
// size in pixels. The outer sphere turns red once the fingertip reaches the string plane.
FingertipLook FingertipAppearance(float nearness, int width, int height);

// The banner: its text, the stroke scale and where its baseline starts, in pixels from the
// bottom-left corner of a width x height window.
constexpr const char* kBannerText = "Quorvel 0.0.1";
constexpr float kBannerScale = 0.15f;
// The banner with what shapes the sound now: the key (note of string 0) by name, and touch; with
// a camera, the key that shows and hides its picture.
std::string BannerLine(int key, bool touch = false, bool camera = false, bool concert = false);

struct PixelPoint {
    int x;
    int y;
};

inline PixelPoint BannerOrigin(int width, int height)
{
    return PixelPoint{width - 500, height - 20};
}

// The last line of standard error (why the instrument cannot play), shown under the banner in
// stroke scale kNoticeScale, from kNoticeMargin pixels off the left edge, kNoticeLeading pixels a
// line; wrapped at spaces to fit a window `width` pixels wide, at most kNoticeLines lines.
constexpr float kNoticeScale = 0.1f;
// Amber, apart from the banner and the strings: a reason the instrument cannot play.
constexpr Color kNoticeColor{1.0f, 0.75f, 0.25f, 1.0f};
constexpr int kNoticeMargin = 10;
constexpr int kNoticeLeading = 16;
constexpr std::size_t kNoticeLines = 4;
std::vector<std::string> WrapNotice(const std::string& text, int width);

} // namespace GLStuff
