#include "Pluck.h"

#include <cmath>
#include <iostream>
#include <stdexcept>

#include "Harp.h"
#include "MidiOut.h"
#include "StringLayout.h"

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

void PluckString(int stringIndex, bool leftward, float height)
{
    std::cout << "trig\n" << std::flush;
    const ScaleChoice scale = CurrentScale();
    const double pitch = StringPitch(stringIndex, scale);
    const int note = static_cast<int>(std::lround(pitch));
    float burst[kBurstLength];
    FillBurst(height, leftward, burst);
    try {
        Harp* harp = Harp::GetInstance();
        if (scale.tuning)
            harp->ExciteString(stringIndex, static_cast<float>(pitch), kPluckVelocity, burst,
                               kBurstLength);
        else
            harp->ExciteString(stringIndex, note, kPluckVelocity, burst, kBurstLength);
    } catch (const std::out_of_range&) {
        // The string was removed on the window thread since the count was read.
        return;
    }
    MidiOut::GetInstance()->Plucked(stringIndex, note, kPluckVelocity);
}

void airMotion(float x, float y, float z, float lastX, float /*lastY*/)
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
            PluckString(i, leftward, y);
    }
}

} // namespace GLStuff
