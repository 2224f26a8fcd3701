#include "tracking/camera/OneEuroFilter.h"

#include <cmath>

namespace Leap {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double smoothing(double cutoff, double interval)
{
    const double tau = 1.0 / (kTwoPi * cutoff);
    return 1.0 / (1.0 + tau / interval);
}

} // namespace

OneEuroFilter::OneEuroFilter(double minCutoff, double beta, double derivativeCutoff)
    : fMinCutoff(minCutoff), fBeta(beta), fDerivativeCutoff(derivativeCutoff)
{
}

Vector OneEuroFilter::filter(const Vector& position, double seconds)
{
    const double interval = seconds - fLastSeconds;
    if (!fStarted || !(interval > 0.0)) {
        // First sample, or a clock that did not move: nothing to smooth against.
        if (!fStarted)
            fPosition = position;
        fStarted = true;
        fLastSeconds = seconds;
        return fPosition;
    }
    fLastSeconds = seconds;
    const double d = smoothing(fDerivativeCutoff, interval);
    fVelocity.x += d * ((position.x - fPosition.x) / interval - fVelocity.x);
    fVelocity.y += d * ((position.y - fPosition.y) / interval - fVelocity.y);
    fVelocity.z += d * ((position.z - fPosition.z) / interval - fVelocity.z);
    const double speed = std::sqrt(fVelocity.x * fVelocity.x + fVelocity.y * fVelocity.y +
                                   fVelocity.z * fVelocity.z);
    const double a = smoothing(fMinCutoff + fBeta * speed, interval);
    fPosition.x += a * (position.x - fPosition.x);
    fPosition.y += a * (position.y - fPosition.y);
    fPosition.z += a * (position.z - fPosition.z);
    return fPosition;
}

} // namespace Leap
