#include "src/kits/FFT.h"

#include <cassert>
#include <cmath>
#include <utility>

const float PI = static_cast<float>(4.0 * std::atan(1.0));
const float TWOPI = static_cast<float>(8.0 * std::atan(1.0));

namespace {

bool isPowerOfTwo(std::int64_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Per-stage rotation (wr, wi) <- (wr, wi) * (1 + wpr, wpi), from one sine pair per stage.
struct Rotation {
    float wpr;
    float wpi;
    explicit Rotation(float theta)
    {
        const double halfSine = std::sin(0.5 * static_cast<double>(theta));
        wpr = static_cast<float>(-2.0 * halfSine * halfSine);
        wpi = static_cast<float>(std::sin(static_cast<double>(theta)));
    }
    void advance(float& wr, float& wi) const
    {
        const float oldWr = wr;
        wr = wr * wpr - wi * wpi + wr;
        wi = wi * wpr + oldWr * wpi + wi;
    }
};

} // namespace

void bit_reverse(float* x, std::int64_t N)
{
    assert(N % 2 == 0 && isPowerOfTwo(N / 2));
    if (N % 2 != 0 || !isPowerOfTwo(N / 2)) {
        return;
    }
    std::int64_t j = 0;
    for (std::int64_t i = 0; i < N; i += 2) {
        if (j > i) {
            std::swap(x[j], x[i]);
            std::swap(x[j + 1], x[i + 1]);
        }
        std::int64_t m = N / 2;
        while (m >= 2 && j >= m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
}

void cfft(float* x, std::int64_t NC, int forward)
{
    // Anything else would make the butterflies read and write past the array.
    assert(isPowerOfTwo(NC));
    if (!isPowerOfTwo(NC)) {
        return;
    }
    const std::int64_t ND = 2 * NC;
    bit_reverse(x, ND);

    for (std::int64_t mmax = 2; mmax < ND; mmax *= 2) {
        const std::int64_t delta = 2 * mmax;
        const float theta =
            forward ? TWOPI / static_cast<float>(mmax) : TWOPI / static_cast<float>(-mmax);
        const Rotation rotation(theta);
        float wr = 1.0f;
        float wi = 0.0f;
        for (std::int64_t m = 0; m < mmax; m += 2) {
            for (std::int64_t i = m; i < ND; i += delta) {
                const std::int64_t k = i + mmax;
                // Loaded once: the stores below could otherwise force reloads through x.
                const float upperRe = x[i];
                const float upperIm = x[i + 1];
                const float lowerRe = x[k];
                const float lowerIm = x[k + 1];
                const float tr = wr * lowerRe - wi * lowerIm;
                const float ti = wr * lowerIm + wi * lowerRe;
                x[k] = upperRe - tr;
                x[k + 1] = upperIm - ti;
                x[i] = upperRe + tr;
                x[i + 1] = upperIm + ti;
            }
            rotation.advance(wr, wi);
        }
    }

    const float scale = forward ? static_cast<float>(1.0 / static_cast<double>(ND)) : 2.0f;
    for (std::int64_t i = 0; i < ND; ++i) {
        x[i] *= scale;
    }
}

void rfft(float* x, std::int64_t N, int forward)
{
    assert(isPowerOfTwo(N));
    if (!isPowerOfTwo(N)) {
        return;
    }
    const float c1 = 0.5f;
    float c2;
    float theta;
    // The partner of point 0 (the real and imaginary part of the transform's point 0 going in,
    // the Nyquist term coming out of the forward pass).
    float xr;
    float xi;
    if (forward) {
        c2 = -0.5f;
        theta = PI / static_cast<float>(N);
        cfft(x, N, forward);
        xr = x[0];
        xi = x[1];
    } else {
        c2 = 0.5f;
        theta = -PI / static_cast<float>(N);
        xr = x[1];
        xi = 0.0f;
        x[1] = 0.0f;
    }

    const Rotation rotation(theta);
    float wr = 1.0f;
    float wi = 0.0f;
    // Points i and N - i are untangled together; at i = N / 2 they coincide and the later stores
    // stand.
    for (std::int64_t i = 0; i <= N / 2; ++i) {
        const std::int64_t i1 = 2 * i;
        const std::int64_t i2 = i1 + 1;
        const std::int64_t i3 = 2 * N - i1;
        const std::int64_t i4 = i3 + 1;
        const float pr = i == 0 ? xr : x[i3];
        const float pi = i == 0 ? xi : x[i4];
        const float h1r = c1 * (x[i1] + pr);
        const float h1i = c1 * (x[i2] - pi);
        const float h2r = -c2 * (x[i2] + pi);
        const float h2i = c2 * (x[i1] - pr);
        x[i1] = h1r + wr * h2r - wi * h2i;
        x[i2] = h1i + wr * h2i + wi * h2r;
        const float mirrorRe = h1r - wr * h2r + wi * h2i;
        if (i == 0) {
            xr = mirrorRe;
        } else {
            x[i3] = mirrorRe;
            x[i4] = -h1i + wr * h2i + wi * h2r;
        }
        rotation.advance(wr, wi);
    }

    if (forward) {
        x[1] = xr;
    } else {
        cfft(x, N, 0);
    }
}
