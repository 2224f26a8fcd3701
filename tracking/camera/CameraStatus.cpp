#include "tracking/camera/CameraStatus.h"

#include <cmath>

namespace Leap {

CameraView::Status cameraStatus(bool trackingFailed, const HandSpace& space, bool handsSeen,
                                bool dark, double seconds)
{
    using State = CameraView::State;
    if (trackingFailed)
        return {State::kFailed};
    if (space.isCalibrated())
        return {State::kReady};
    if (handsSeen)
        return {State::kHoldStill,
                static_cast<int>(std::ceil(10.0 * space.stillSecondsLeft(seconds)))};
    if (dark)
        return {State::kTooDark};
    return {State::kNoHand};
}

} // namespace Leap
