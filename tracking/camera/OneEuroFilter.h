#pragma once

#include "tracking/Leap.h"

namespace Leap {

// The One-Euro filter (Casiez, Roussel and Vogel, 2012) on a position: a low-pass filter whose
// cutoff rises with speed, so a still fingertip stops jittering and a fast one does not lag.
class OneEuroFilter {
public:
    // minCutoff in Hz (at rest), beta in Hz per mm/s (how fast the cutoff rises with speed),
    // derivativeCutoff in Hz.
    OneEuroFilter(double minCutoff, double beta, double derivativeCutoff);

    // The filtered position (mm) for a sample taken at `seconds`; the first sample passes.
    Vector filter(const Vector& position, double seconds);

private:
    double fMinCutoff;
    double fBeta;
    double fDerivativeCutoff;
    bool fStarted = false;
    double fLastSeconds = 0.0;
    Vector fPosition;
    Vector fVelocity; // mm/s, filtered
};

} // namespace Leap
