// The real FFT against the reference FFT library's real-to-complex transform, both planned
// outside the timing loop, on the same fixed-seed input.
#include "dsp/Fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>
#include <vector>

namespace {

std::vector<double> RandomInput(int64_t n) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(static_cast<size_t>(n) + 2);
    for (int64_t i = 0; i < n; ++i) {
        x[static_cast<size_t>(i)] = dist(rng);
    }
    return x;
}

void RunOurs(benchmark::State& state, int flag) {
    const int64_t n = state.range(0);
    FftContext* context = nullptr;
    if (FftInit(&context, __builtin_ctzll(static_cast<unsigned long long>(n)), flag, 2) != vsOk) {
        state.SkipWithError("FftInit failed");
        return;
    }
    int64_t workSize = 0;
    FftGetWorkSize(context, &workSize);
    std::vector<uint8_t> work(static_cast<size_t>(workSize));
    const std::vector<double> x = RandomInput(n);
    std::vector<double> y(static_cast<size_t>(n) + 2);
    for (auto _ : state) {
        FftForwardReal(x.data(), y.data(), context, work.empty() ? nullptr : work.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    FftFree(context);
}

void BM_FftForwardReal(benchmark::State& state) {
    RunOurs(state, 8);
}
void BM_FftForwardRealScaled(benchmark::State& state) {
    RunOurs(state, 1);
}

void BM_FftwR2C(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double* in = fftw_alloc_real(static_cast<size_t>(n));
    fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const std::vector<double> x = RandomInput(n);
    std::copy(x.begin(), x.begin() + n, in);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

} // namespace

BENCHMARK(BM_FftForwardReal)->Arg(256)->Arg(1024)->Arg(4096)->Arg(65536);
BENCHMARK(BM_FftForwardRealScaled)->Arg(256)->Arg(1024)->Arg(4096)->Arg(65536);
BENCHMARK(BM_FftwR2C)->Arg(256)->Arg(1024)->Arg(4096)->Arg(65536);
