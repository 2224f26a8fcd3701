// Our in-place transforms beside FFTW's single-precision in-place plans of the same sizes.
// Every iteration copies the same input in first (both sides alike): transforming a buffer over
// and over would shrink it into denormals (ours scales by 1/N) or overflow it (FFTW does not).
#include "src/kits/FFT.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<float> randomFloats(std::size_t count)
{
    std::mt19937 generator(42);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> values(count);
    for (float& value : values) {
        value = uniform(generator);
    }
    return values;
}

// points: complex points (2 x points floats).
void BM_cfft(benchmark::State& state)
{
    const std::int64_t points = state.range(0);
    const std::vector<float> input = randomFloats(2 * points);
    std::vector<float> work(input.size());
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), work.begin());
        cfft(work.data(), points, 1);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * points);
}

void BM_fftwf_c2c(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const std::vector<float> input = randomFloats(2 * points);
    fftwf_complex* work = fftwf_alloc_complex(points);
    fftwf_plan plan = fftwf_plan_dft_1d(points, work, work, FFTW_BACKWARD, FFTW_MEASURE);
    float* workFloats = reinterpret_cast<float*>(work);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), workFloats);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(workFloats);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * points);
    fftwf_destroy_plan(plan);
    fftwf_free(work);
}

// samples: real samples (rfft's N is half of it).
void BM_rfft(benchmark::State& state)
{
    const std::int64_t samples = state.range(0);
    const std::vector<float> input = randomFloats(samples);
    std::vector<float> work(input.size());
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), work.begin());
        rfft(work.data(), samples / 2, 1);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples);
}

void BM_fftwf_r2c(benchmark::State& state)
{
    const int samples = static_cast<int>(state.range(0));
    const std::vector<float> input = randomFloats(samples);
    // In place: room for samples / 2 + 1 complex values.
    float* work = fftwf_alloc_real(2 * (samples / 2 + 1));
    fftwf_plan plan =
        fftwf_plan_dft_r2c_1d(samples, work, reinterpret_cast<fftwf_complex*>(work), FFTW_MEASURE);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), work);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(work);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples);
    fftwf_destroy_plan(plan);
    fftwf_free(work);
}

} // namespace

BENCHMARK(BM_cfft)->Arg(256)->Arg(1024)->Arg(4096);
BENCHMARK(BM_fftwf_c2c)->Arg(256)->Arg(1024)->Arg(4096);
BENCHMARK(BM_rfft)->Arg(256)->Arg(1024)->Arg(4096);
BENCHMARK(BM_fftwf_r2c)->Arg(256)->Arg(1024)->Arg(4096);

BENCHMARK_MAIN();
