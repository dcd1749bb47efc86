// Hot vector routines against memcpy of the same output size (1 MiB); the ratio shows how far
// each loop is from moving bytes alone.

#include "dsp/VecPrimitives.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kOutBytes = size_t{1} << 20;
constexpr int32_t kDoubles = static_cast<int32_t>(kOutBytes / sizeof(double)); // 131072

std::vector<double> Ramp(size_t count) {
    std::vector<double> v(count);
    for (size_t i = 0; i < count; ++i) {
        v[i] = std::sin(0.001 * static_cast<double>(i)) * 1000.0;
    }
    return v;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kOutBytes));
}

void BM_Memcpy1MiB(benchmark::State& state) {
    std::vector<unsigned char> src(kOutBytes, 0x5A);
    std::vector<unsigned char> dst(kOutBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kOutBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Memcpy1MiB);

void BM_Deinterleave16sTo64f1MiB(benchmark::State& state) {
    std::vector<int16_t> frames(2 * static_cast<size_t>(kDoubles)); // stereo
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = static_cast<int16_t>(i * 37);
    }
    std::vector<double> dst(kDoubles);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            VecDeinterleave16sTo64f(frames.data() + 1, 4, dst.data(), kDoubles));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Deinterleave16sTo64f1MiB);

void BM_Convert32sTo64f1MiB(benchmark::State& state) {
    std::vector<int32_t> src(kDoubles);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<int32_t>(i * 2654435761u);
    }
    std::vector<double> dst(kDoubles);
    for (auto _ : state) {
        benchmark::DoNotOptimize(VecConvert32sTo64f(src.data(), dst.data(), kDoubles));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Convert32sTo64f1MiB);

void BM_Add64f1MiB(benchmark::State& state) {
    // Repeated adds grow the values only linearly, far from overflow or denormals.
    const std::vector<double> src = Ramp(kDoubles);
    std::vector<double> srcDst = Ramp(kDoubles);
    for (auto _ : state) {
        benchmark::DoNotOptimize(VecAdd64f(src.data(), srcDst.data(), kDoubles));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Add64f1MiB);

void BM_MulConst64f1MiB(benchmark::State& state) {
    const std::vector<double> src = Ramp(kDoubles);
    std::vector<double> dst(kDoubles);
    for (auto _ : state) {
        benchmark::DoNotOptimize(VecMulConst64f(src.data(), 0.75, dst.data(), kDoubles));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_MulConst64f1MiB);

void BM_Magnitude64fc1MiB(benchmark::State& state) {
    const std::vector<double> parts = Ramp(2 * static_cast<size_t>(kDoubles));
    std::vector<TVecComplex> src(kDoubles);
    std::memcpy(src.data(), parts.data(), parts.size() * sizeof(double));
    std::vector<double> dst(kDoubles);
    for (auto _ : state) {
        benchmark::DoNotOptimize(VecMagnitude64fc(src.data(), dst.data(), kDoubles));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Magnitude64fc1MiB);

void BM_Max64f1MiB(benchmark::State& state) {
    const std::vector<double> src = Ramp(kDoubles);
    double result = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(VecMax64f(src.data(), kDoubles, &result));
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Max64f1MiB);

} // namespace
