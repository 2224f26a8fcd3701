#pragma once

#include <cstdint>

// pi and 2 pi in single precision (4 atan(1) and 8 atan(1) rounded to float).
extern const float PI;
extern const float TWOPI;

// In-place radix-2 transforms on single-precision data. Complex data is interleaved, real part
// first: point k is x[2k] (real), x[2k + 1] (imaginary). Twiddles come from a rotation recurrence
// (one sine pair per stage); nothing allocates or locks, so calls on distinct arrays may run in
// parallel. A count that is not a power of two (1 included) leaves the data untouched.

// Complex transform of NC points (2 NC floats). Forward (forward != 0):
//   X[k] = 1 / (2 NC) * sum_n x[n] e^(+2 pi i k n / NC)
// Inverse: x[n] = 2 * sum_k X[k] e^(-2 pi i k n / NC), so the inverse undoes the forward.
void cfft(float* x, std::int64_t NC, int forward);

// Real transform of 2N samples in place. Forward packing, with
// X[k] = 1 / (2N) * sum_n x[n] e^(+2 pi i k n / 2N):
//   x[0] = X[0] (the mean), x[1] = X[N] (the Nyquist term, real),
//   x[2k], x[2k + 1] = Re X[k], Im X[k] for k = 1 .. N - 1.
// A cosine of amplitude A at bin k gives Re X[k] = A / 2; a sine gives Im X[k] = +A / 2.
// The inverse takes this packing back to the 2N samples.
void rfft(float* x, std::int64_t N, int forward);

// Reorders the complex points of x (N floats, N twice a power of two) into bit-reversed order.
void bit_reverse(float* x, std::int64_t N);
