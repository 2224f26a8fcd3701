#include "app/instrument/Pluck.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <stdexcept>

#include "app/instrument/Actions.h"
#include "app/instrument/Harp.h"
#include "app/instrument/InstrumentOutput.h"
#include "app/instrument/StringLayout.h"
#include "src/ConsoleLine.h"

namespace GLStuff {

double StringPitch(int stringIndex, const ScaleChoice& scale)
{
    if (scale.tuning)
        return scale.key + scale.tuning->Offset(stringIndex);
    const int degree = stringIndex % scale.count;
    const int octave =
        static_cast<int>(static_cast<float>(stringIndex) / static_cast<float>(scale.count));
    return scale.key + 12 * octave + scale.table[degree];
}

int StringNote(int stringIndex, ScaleChoice scale)
{
    return static_cast<int>(std::lround(StringPitch(stringIndex, scale)));
}

void FillBurst(float height, bool leftward, float (&burst)[kBurstLength])
{
    // The apex index must fit an int, and so must kBurstLength - apex: the height comes straight
    // from tracking data. 2^24 is far beyond any real height and exact in single precision.
    constexpr float kApexLimit = 16777216.0f;
    float apexPosition = height * static_cast<float>(kBurstLength);
    if (std::isnan(apexPosition))
        apexPosition = 0.0f;
    apexPosition = std::fmin(std::fmax(apexPosition, -kApexLimit), kApexLimit);
    const int apex = static_cast<int>(apexPosition);

    const float sign = leftward ? -1.0f : 1.0f;
    for (int j = 0; j < kBurstLength; ++j) {
        const float value = j < apex ? static_cast<float>(j) / static_cast<float>(apex)
                                     : 1.0f - static_cast<float>(j - apex) /
                                                  static_cast<float>(kBurstLength - apex);
        burst[j] = sign * value;
    }
}

namespace {

std::atomic<bool> sTouch{false};

} // namespace

void SetTouch(bool on)
{
    sTouch.store(on);
}

bool Touch()
{
    return sTouch.load();
}

int TouchVelocity(float sweepSpeed)
{
    if (!(sweepSpeed > kSlowSweep))
        return kSoftVelocity;
    const float share = std::log(sweepSpeed / kSlowSweep) / std::log(kFastSweep / kSlowSweep);
    if (share >= 1.0f)
        return kPluckVelocity;
    return kSoftVelocity + static_cast<int>(std::lround(share * (kPluckVelocity - kSoftVelocity)));
}

void ShapeBurst(int velocity, float (&burst)[kBurstLength])
{
    if (velocity >= kPluckVelocity)
        return;
    // Cut-off in harmonics of the string, 3 at velocity 0 up to the burst's Nyquist (256)
    // at 127, on a logarithmic scale as pitch is heard.
    const float share = static_cast<float>(std::max(velocity, 0)) / kPluckVelocity;
    const float harmonics = 3.0f * std::pow(256.0f / 3.0f, share);
    const float pole = std::exp(-6.2831853f * harmonics / kBurstLength);
    // The burst repeats once a period: start the filter from where one pass ends.
    float state = 0.0f;
    for (int pass = 0; pass < 2; ++pass) {
        for (float& sample : burst) {
            state = (1.0f - pole) * sample + pole * state;
            if (pass == 1)
                sample = state;
        }
    }
}

void PluckString(int stringIndex, bool leftward, float height, int velocity)
{
    WriteLine(std::cout, "trig");
    const ScaleChoice scale = CurrentScale();
    const double pitch = StringPitch(stringIndex, scale);
    const int note = static_cast<int>(std::lround(pitch));
    float burst[kBurstLength];
    FillBurst(height, leftward, burst);
    ShapeBurst(velocity, burst);
    try {
        Harp* harp = Harp::GetInstance();
        if (scale.tuning)
            harp->ExciteString(stringIndex, static_cast<float>(pitch), velocity, burst,
                               kBurstLength);
        else
            harp->ExciteString(stringIndex, note, velocity, burst, kBurstLength);
    } catch (const std::out_of_range&) {
        // The string was removed on the window thread since the count was read.
        return;
    }
    for (int slot = 0; slot < kMaxOutputs; ++slot)
        if (InstrumentOutput* output = OutputAt(slot))
            output->Plucked(stringIndex, note, velocity);
}

void airMotion(float x, float y, float z, float lastX, float lastY)
{
    airMotion(x, y, z, lastX, lastY, -1.0f);
}

void airMotion(float x, float y, float z, float lastX, float /*lastY*/, float sweepSpeed)
{
    if (!(z < 0.0f)) // only a fingertip beyond the string plane plucks (NaN never does)
        return;
    const int numStrings = Harp::GetInstance()->GetNumStrings();
    if (numStrings < 1)
        return;
    const float spacing = StringSpacing(numStrings);
    for (int i = 0; i < numStrings; ++i) {
        const float position = StringRestX(i, spacing);
        const bool rightward = lastX <= position && x > position;
        const bool leftward = lastX > position && x <= position;
        if ((rightward || leftward) && std::fabs(x - position) < spacing / 2.0f)
            PluckString(i, leftward, y,
                        Touch() && sweepSpeed >= 0.0f ? TouchVelocity(sweepSpeed) : kPluckVelocity);
    }
}

} // namespace GLStuff
