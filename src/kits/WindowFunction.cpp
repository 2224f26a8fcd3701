#include "src/kits/WindowFunction.h"

#include <cassert>
#include <cmath>

float** gWindowTables = nullptr;
unsigned int gWindowTableLength = 0;

namespace {

// 2 pi and 4 pi to 15 significant digits: the tables are defined with these, not full precision.
constexpr double kTwoPi15 = 6.28318530717958;
constexpr double kFourPi15 = 12.56637061435916;

// Ramps and slopes: integers become floats, one float division, at most one subtraction from 1.
float ratio(unsigned int numerator, unsigned int denominator)
{
    return static_cast<float>(numerator) / static_cast<float>(denominator);
}

float trapezoid(unsigned int j, unsigned int length)
{
    const unsigned int ramp = length > 1024 ? 512 : length / 8;
    if (j < ramp) {
        return ratio(j, ramp);
    }
    if (j < length - ramp) {
        return 1.0f;
    }
    return 1.0f - ratio(j - (length - ramp), ramp);
}

float triangular(unsigned int j, unsigned int length)
{
    const unsigned int half = length / 2;
    if (j < half) {
        return ratio(j, half);
    }
    return 1.0f - ratio(j - half, half);
}

float gaussian(unsigned int j, unsigned int length)
{
    // Mixed precision on purpose: each step is rounded where the table's definition rounds it.
    const float last = static_cast<float>(length - 1);
    const float offset = static_cast<float>(j) + last / -2.0f;
    const double width = 0.4 * static_cast<double>(last / 2.0f);
    const float t = static_cast<float>(offset / width);
    const float exponent = static_cast<float>(-0.5 * t * t);
    // e rounded to single precision (2.7182817459106445), as the table is defined.
    const double base = static_cast<double>(static_cast<float>(2.718281828459045));
    return static_cast<float>(std::pow(base, static_cast<double>(exponent)));
}

float hammingEntry(unsigned int j, unsigned int length)
{
    const double last = static_cast<double>(static_cast<float>(length - 1));
    return static_cast<float>(0.53836 - 0.46164 * std::cos(j * kTwoPi15 / last));
}

float hannEntry(unsigned int j, unsigned int length)
{
    const double last = static_cast<double>(static_cast<float>(length - 1));
    return static_cast<float>(0.5 * (1.0 - std::cos(j * kTwoPi15 / last)));
}

float blackmanEntry(unsigned int j, unsigned int length)
{
    // Single-precision coefficients widened to double: entry 0 is about -1.5e-8, not 0.
    const double a0 = 0.42f;
    const double a2 = 0.08f;
    const double last = static_cast<double>(length - 1);
    return static_cast<float>(a0 - 0.5 * std::cos(j * kTwoPi15 / last) +
                              a2 * std::cos(j * kFourPi15 / last));
}

unsigned int shortRamp(unsigned int length)
{
    return length > 256 ? 128 : length / 8;
}

float shortAttack(unsigned int j, unsigned int length)
{
    const unsigned int ramp = shortRamp(length);
    if (j < ramp) {
        return ratio(j, ramp);
    }
    return 1.0f - ratio(j - ramp, length - ramp);
}

float shortRelease(unsigned int j, unsigned int length)
{
    const unsigned int ramp = shortRamp(length);
    if (j < length - ramp) {
        return ratio(j, length - ramp);
    }
    return 1.0f - ratio(j - (length - ramp), ramp);
}

float tableEntry(unsigned int type, unsigned int j, unsigned int length)
{
    switch (type) {
    case kTrapezoid:
        return trapezoid(j, length);
    case kTriangular:
        return triangular(j, length);
    case kGaussian:
        return gaussian(j, length);
    case kHamming:
        return hammingEntry(j, length);
    case kHann:
        return hannEntry(j, length);
    case kBlackman:
        return blackmanEntry(j, length);
    case kShortAttack:
        return shortAttack(j, length);
    case kShortRelease:
        return shortRelease(j, length);
    default:
        return 1.0f;
    }
}

} // namespace

WindowFunction::WindowFunction(unsigned int tableLength)
    : fIncrement(0.0), fIndex(0.0), fWindowLength(0), fWindowType(kRectangular),
      fTableLength(tableLength), fPassEnded(false)
{
    assert(tableLength > 0);
    // The tables exist at one length only; reading them at another would run past their end.
    if (gWindowTables != nullptr) {
        fTableLength = gWindowTableLength;
    }
    setWindowLength(4096);
    _generateWindowTables();
}

void WindowFunction::_generateWindowTables()
{
    if (gWindowTables != nullptr) {
        return;
    }
    float** tables = new float*[kNumWindowTypes];
    for (unsigned int type = 0; type < kNumWindowTypes; ++type) {
        tables[type] = new float[fTableLength];
        for (unsigned int j = 0; j < fTableLength; ++j) {
            tables[type][j] = tableEntry(type, j, fTableLength);
        }
    }
    gWindowTableLength = fTableLength;
    gWindowTables = tables;
}

void WindowFunction::setWindowLength(unsigned int length)
{
    fIndex = 0.0;
    fWindowLength = length;
    fIncrement = static_cast<double>(fTableLength) / static_cast<double>(length);
    fPassEnded = false;
}

void WindowFunction::setWindowType(unsigned int type)
{
    assert(type < kNumWindowTypes);
    fWindowType = type;
}

bool WindowFunction::getNextSample(float& out)
{
    out = gWindowTables[fWindowType][static_cast<unsigned int>(fIndex)];
    fIndex += fIncrement;
    // Tested on the accumulated position: an inexact increment can add one sample to a pass.
    fPassEnded = fIndex >= static_cast<double>(fTableLength);
    if (fPassEnded) {
        fIndex = 0.0;
    }
    return fPassEnded;
}

bool WindowFunction::samplesRemain() const
{
    return !fPassEnded && fWindowLength > 0 && fIndex < static_cast<double>(fTableLength);
}

void WindowFunction::setIndex(double index)
{
    assert(index >= 0.0 && index < static_cast<double>(fTableLength));
    fIndex = index;
    fPassEnded = false;
}

float* WindowFunction::getWindowTable()
{
    return gWindowTables[fWindowType];
}

namespace {

// Periodic window of n values; the angle grows by repeated addition, not j * step.
template <typename Shape> void fillPeriodic(float* w, std::uint64_t n, Shape shape)
{
    const double step = 2.0 * (4.0 * std::atan(1.0)) / static_cast<double>(n);
    double angle = 0.0;
    for (std::uint64_t j = 0; j < n; ++j) {
        w[j] = static_cast<float>(shape(angle));
        angle += step;
    }
}

} // namespace

void hanning(float* w, std::uint64_t n)
{
    fillPeriodic(w, n, [](double angle) { return 0.5 * (1.0 - std::cos(angle)); });
}

void hamming(float* w, std::uint64_t n)
{
    fillPeriodic(w, n, [](double angle) { return 0.54 - 0.46 * std::cos(angle); });
}

void blackman(float* w, std::uint64_t n)
{
    fillPeriodic(w, n, [](double angle) {
        return 0.42 - 0.5 * std::cos(angle) + 0.08 * std::cos(2.0 * angle);
    });
}

void apply_window(float* x, const float* w, std::uint64_t n)
{
    for (std::uint64_t j = 0; j < n; ++j) {
        x[j] *= w[j];
    }
}
