#include "src/Interpolator.h"

float Interpolator::InterpolateHigher(const float* samples, double x, int n) const
{
    const int i = static_cast<int>(x);
    const double c = x - i;
    const double s0 = samples[i];
    switch (fOrder) {
    case 2: {
        const double s1 = samples[Neighbour(x, 1, n)];
        const double s2 = samples[Neighbour(x, 2, n)];
        const double w0 = (c - 1) * (c - 2) / 2;
        const double w1 = -c * (c - 2);
        const double w2 = c * (c - 1) / 2;
        return static_cast<float>(w0 * s0 + w1 * s1 + w2 * s2);
    }
    case 3: {
        const double s1 = samples[Neighbour(x, 1, n)];
        const double s2 = samples[Neighbour(x, 2, n)];
        const double s3 = samples[Neighbour(x, 3, n)];
        const double w0 = -(c - 1) * (c - 2) * (c - 3) / 6;
        const double w1 = c * (c - 2) * (c - 3) / 2;
        const double w2 = -c * (c - 1) * (c - 3) / 2;
        const double w3 = c * (c - 1) * (c - 2) / 6;
        return static_cast<float>(w0 * s0 + w1 * s1 + w2 * s2 + w3 * s3);
    }
    default:
        return samples[i];
    }
}
