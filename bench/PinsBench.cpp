// Lock sections on the dispatch path: every dispatch enters the global read section, most
// enter it while the thread already reads (nested dispatch), and every sink's handler runs
// inside a group write section.
#include "pins/VokObject.h"

#include <benchmark/benchmark.h>

namespace {

void BM_GlobalReadSection(benchmark::State& state) {
    for (auto _ : state) {
        TVokGlobalReadLockSection section;
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_GlobalReadSection);

void BM_GlobalReadSectionReentrant(benchmark::State& state) {
    TVokGlobalReadLockSection outer;
    for (auto _ : state) {
        TVokGlobalReadLockSection section;
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_GlobalReadSectionReentrant);

void BM_ObjectWriteSection(benchmark::State& state) {
    TVokObject object;
    for (auto _ : state) {
        TVokWriteLockSection section(object);
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_ObjectWriteSection);

} // namespace
