#pragma once

// Reads a periodic sampled signal at a fractional position with a forward polynomial window
// (order 1 linear, 2 quadratic, 3 cubic Lagrange; any other order returns the sample at or
// below the position). Neighbours past the end of the signal come from its start.
class Interpolator {
public:
    explicit Interpolator(int order) : fOrder(order) {}

    // samples: n samples (read only); x: position in samples, 0 <= x < n; n >= 1 for orders 1..3.
    float Interpolate(const float* samples, double x, int n) const {
        if (fOrder != 1) return InterpolateHigher(samples, x, n);
        const int i = static_cast<int>(x);
        const float s0 = samples[i];
        const float s1 = samples[Neighbour(x, 1, n)];
        const double c = x - i;
        return static_cast<float>(s0 + c * static_cast<float>(s1 - s0));
    }

private:
    // trunc(x + k) mod n; the division is skipped when no wrap is needed.
    static int Neighbour(double x, int k, int n) {
        const int index = static_cast<int>(x + k);
        return index < n ? index : index % n;
    }

    float InterpolateHigher(const float* samples, double x, int n) const;

    int fOrder;
};
