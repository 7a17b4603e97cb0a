#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/fft.h"

namespace {

std::vector<double> signal(std::size_t n)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 5.0);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = 100 + 40 * std::sin(0.01 * double(i)) + noise(gen);
    return v;
}

void BM_FFTAmplitude(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int exponent = int(std::log2(n));
    const auto src = signal(std::size_t(n));
    std::vector<double> out(static_cast<std::size_t>(n));
    for (auto _ : state) {
        analysis::FFTAmplitude(quint16(exponent), src.data(), 1, n, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FFTAmplitude)->Name("FFTAmplitude")->Arg(32768)->Unit(benchmark::kMicrosecond);

// The peer: a planned real-to-complex transform of the same size on the same
// data, with the same mean removal and magnitudes, so both do the same job.
void BM_FFTW(benchmark::State& state)
{
    const int n = int(state.range(0));
    const auto src = signal(std::size_t(n));
    double* in = fftw_alloc_real(std::size_t(n));
    fftw_complex* spec = fftw_alloc_complex(std::size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, spec, FFTW_MEASURE);
    std::vector<double> out(static_cast<std::size_t>(n / 2 + 1));
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < n; ++i)
            sum += src[std::size_t(i)];
        const double mean = sum / n;
        for (int i = 0; i < n; ++i)
            in[i] = src[std::size_t(i)] - mean;
        fftw_execute(plan);
        for (int k = 0; k <= n / 2; ++k)
            out[std::size_t(k)] = std::sqrt(spec[k][0] * spec[k][0] + spec[k][1] * spec[k][1]) * 2 / n;
        benchmark::DoNotOptimize(out.data());
    }
    fftw_destroy_plan(plan);
    fftw_free(spec);
    fftw_free(in);
}
BENCHMARK(BM_FFTW)->Name("FFTW")->Arg(32768)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
