#pragma once

// Reads a periodic sampled signal at a fractional position with a forward polynomial window
// (order 1 linear, 2 quadratic, 3 cubic Lagrange; any other order returns the sample at or
// below the position). Neighbours past the end of the signal come from its start.
class Interpolator {
public:
    explicit Interpolator(int order) : fOrder(order) {}

    // samples: n samples (read only); x: position in samples, 0 <= x < n; n >= 1 for orders 1..3.
    float Interpolate(const float* samples, double x, int n) const
    {
        if (fOrder != 1)
            return InterpolateHigher(samples, x, n);
        int base, next;
        double fraction;
        Locate(x, n, base, next, fraction);
        return Linear(samples, base, next, fraction);
    }

    // Splits position x (0 <= x < n) into the sample at or below it, the following sample
    // (wrapping past n) and the fraction between them.
    static void Locate(double x, int n, int& base, int& next, double& fraction)
    {
        base = static_cast<int>(x);
        next = Neighbour(x, 1, n);
        fraction = x - base;
    }

    // Order 1 at a position split by Locate: the difference in single precision, the rest in
    // double precision.
    static float Linear(const float* samples, int base, int next, double fraction)
    {
        const float s0 = samples[base];
        const float difference = samples[next] - s0;
        return static_cast<float>(s0 + fraction * difference);
    }

private:
    // trunc(x + k) mod n; the division is skipped when no wrap is needed.
    static int Neighbour(double x, int k, int n)
    {
        const int index = static_cast<int>(x + k);
        return index < n ? index : index % n;
    }

    float InterpolateHigher(const float* samples, double x, int n) const;

    int fOrder;
};
