#include "src/kits/FFT.h"
#include "src/kits/WindowFunction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
const double kPi = 3.14159265358979323846;

// Read during static initialisation, before any transform has run.
const float kPiBeforeMain = PI;
const float kTwoPiBeforeMain = TWOPI;

// ---- An independent oracle, in double precision, with the transforms' sign and scale. ----

// e^(sign 2 pi i q / M) for q = 0 .. M - 1.
std::vector<Complex> unitRoots(std::int64_t M, int sign)
{
    std::vector<Complex> roots(M);
    for (std::int64_t q = 0; q < M; ++q) {
        roots[q] = std::polar(1.0, sign * 2.0 * kPi * q / M);
    }
    return roots;
}

// out[k] = scale * sum_n in[n] e^(sign 2 pi i k n / M)
std::vector<Complex> naiveDft(const std::vector<Complex>& in, int sign, double scale)
{
    const std::int64_t M = in.size();
    const std::vector<Complex> roots = unitRoots(M, sign);
    std::vector<Complex> out(M);
    for (std::int64_t k = 0; k < M; ++k) {
        Complex sum = 0.0;
        for (std::int64_t n = 0; n < M; ++n) {
            sum += in[n] * roots[(k * n) % M];
        }
        out[k] = scale * sum;
    }
    return out;
}

// The real transform's packed forward result for 2N samples, from the complex DFT.
std::vector<double> packedRealSpectrum(const std::vector<float>& samples)
{
    const std::int64_t M = samples.size();
    std::vector<Complex> in(samples.begin(), samples.end());
    const std::vector<Complex> X = naiveDft(in, +1, 1.0 / M);
    std::vector<double> packed(M);
    packed[0] = X[0].real();
    packed[1] = X[M / 2].real();
    for (std::int64_t k = 1; k < M / 2; ++k) {
        packed[2 * k] = X[k].real();
        packed[2 * k + 1] = X[k].imag();
    }
    return packed;
}

// The 2N samples whose packed real spectrum is `packed`: the Hermitian spectrum, summed with the
// inverse sign and no scale.
std::vector<double> samplesOfPackedSpectrum(const std::vector<float>& packed)
{
    const std::int64_t M = packed.size();
    std::vector<Complex> X(M);
    X[0] = packed[0];
    X[M / 2] = packed[1];
    for (std::int64_t k = 1; k < M / 2; ++k) {
        X[k] = Complex(packed[2 * k], packed[2 * k + 1]);
        X[M - k] = std::conj(X[k]);
    }
    const std::vector<Complex> x = naiveDft(X, -1, 1.0);
    std::vector<double> samples(M);
    for (std::int64_t n = 0; n < M; ++n) {
        samples[n] = x[n].real();
    }
    return samples;
}

std::vector<Complex> toComplex(const std::vector<float>& interleaved)
{
    std::vector<Complex> points(interleaved.size() / 2);
    for (std::size_t k = 0; k < points.size(); ++k) {
        points[k] = Complex(interleaved[2 * k], interleaved[2 * k + 1]);
    }
    return points;
}

std::vector<double> toInterleaved(const std::vector<Complex>& points)
{
    std::vector<double> out;
    for (const Complex& point : points) {
        out.push_back(point.real());
        out.push_back(point.imag());
    }
    return out;
}

std::vector<float> randomFloats(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> values(count);
    for (float& value : values) {
        value = uniform(generator);
    }
    return values;
}

// Largest error relative to the largest reference magnitude: single-precision rounding over
// log2(M) stages and the twiddle recurrence stays within a few 1e-7 per stage.
template <typename A, typename B>
::testing::AssertionResult closeInSinglePrecision(const A& actual, const B& expected)
{
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "size " << actual.size() << " vs " << expected.size();
    }
    double peak = 0.0;
    for (const auto& value : expected) {
        peak = std::max(peak, std::abs(static_cast<double>(value)));
    }
    const double stages = std::max(1.0, std::log2(static_cast<double>(actual.size())));
    const double tolerance = 4e-7 * stages * std::max(peak, 1e-30);
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const double error = std::abs(static_cast<double>(actual[i]) - expected[i]);
        if (!(error <= tolerance)) {
            return ::testing::AssertionFailure()
                   << "index " << i << " of " << actual.size() << ": " << actual[i] << " vs "
                   << expected[i] << " (tolerance " << tolerance << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Windows, LongWindowsArePeriodicAndApplyMultipliesInPlace)
{
    const std::uint64_t n = 1000;
    std::vector<float> hann(n), hamm(n), black(n);
    hanning(hann.data(), n);
    hamming(hamm.data(), n);
    blackman(black.data(), n);
    for (std::uint64_t j = 0; j < n; ++j) {
        const double angle = 2.0 * kPi * j / n;
        ASSERT_NEAR(hann[j], 0.5 - 0.5 * std::cos(angle), 1e-6) << j;
        ASSERT_NEAR(hamm[j], 0.54 - 0.46 * std::cos(angle), 1e-6) << j;
        ASSERT_NEAR(black[j], 0.42 - 0.5 * std::cos(angle) + 0.08 * std::cos(2 * angle), 1e-6) << j;
    }
    // Double-precision coefficients: the first value is a rounding residue of about -1.4e-17
    // (single-precision ones would leave -1.5e-8).
    EXPECT_NEAR(black[0], -1.3877788e-17, 1e-21);

    std::vector<float> x = {2.0f, -3.0f, 0.5f, 7.0f};
    const std::vector<float> w = {0.5f, 0.25f, 4.0f, 9.0f};
    apply_window(x.data(), w.data(), 3);
    EXPECT_EQ(x, (std::vector<float>{1.0f, -0.75f, 2.0f, 7.0f}));
}

TEST(Transforms, PiConstantsHoldTheirValuesFromStartUp)
{
    EXPECT_EQ(kPiBeforeMain, static_cast<float>(kPi));
    EXPECT_EQ(kTwoPiBeforeMain, static_cast<float>(2.0 * kPi));
}

TEST(Transforms, SizesThatAreNotPowersOfTwoLeaveTheDataAlone)
{
    // Butterflies on such sizes would run past the array; debug builds stop on the assertion.
    std::vector<float> x = randomFloats(12, 5);
    const std::vector<float> original = x;
    EXPECT_DEBUG_DEATH(cfft(x.data(), 3, 1), "isPowerOfTwo");
    EXPECT_DEBUG_DEATH(cfft(x.data(), 0, 1), "isPowerOfTwo");
    EXPECT_DEBUG_DEATH(rfft(x.data(), 6, 1), "isPowerOfTwo");
    EXPECT_DEBUG_DEATH(rfft(x.data(), -2, 0), "isPowerOfTwo");
    EXPECT_DEBUG_DEATH(bit_reverse(x.data(), 6), "isPowerOfTwo");
    EXPECT_EQ(x, original);
}

TEST(Transforms, ComplexTransformMatchesNaiveDft)
{
    for (std::int64_t points = 1; points <= 4096; points *= 2) {
        SCOPED_TRACE(points);
        const std::vector<float> input = randomFloats(2 * points, 100 + points);
        const std::vector<Complex> in = toComplex(input);

        std::vector<float> forward = input;
        cfft(forward.data(), points, 1);
        const double forwardScale = 1.0 / (2.0 * points);
        EXPECT_TRUE(closeInSinglePrecision(forward, toInterleaved(naiveDft(in, +1, forwardScale))));

        std::vector<float> inverse = input;
        cfft(inverse.data(), points, 0);
        EXPECT_TRUE(closeInSinglePrecision(inverse, toInterleaved(naiveDft(in, -1, 2.0))));
    }
}

TEST(Transforms, RealTransformMatchesNaiveDft)
{
    for (std::int64_t half = 1; half <= 4096; half *= 2) {
        SCOPED_TRACE(half);
        const std::vector<float> input = randomFloats(2 * half, 200 + half);

        std::vector<float> forward = input;
        rfft(forward.data(), half, 1);
        EXPECT_TRUE(closeInSinglePrecision(forward, packedRealSpectrum(input)));

        // Any packed spectrum is a valid input to the inverse.
        std::vector<float> inverse = input;
        rfft(inverse.data(), half, 0);
        EXPECT_TRUE(closeInSinglePrecision(inverse, samplesOfPackedSpectrum(input)));
    }
}
