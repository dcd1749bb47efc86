// Scope frames against the cost of drawing one trace with QPainter directly.
//   BM_AnchorPolyline1024: a plain drawPolyline of a 1024-point sine, 1-px pen, onto a 374 × 286
//     RGB32 image (the anchor).
//   BM_ScopeFrameLines: the first window scope's set-up (2 × 1024-sample line channels, axes
//     shown): new data each iteration, hand-over and a full render.
//   BM_ScopeFrameBars: the spectrum scope's set-up (2 × 128 bars, widths 5 and 3) showing
//     spectra as the analyser sends them for a tone: a peak over a low noise floor.
//   BM_ScopeFrameTallBars: the same with every bar reaching half the height and more (the
//     fill-bound worst case, for reference).
#include "../tests/display/ScopeTestSupport.h"
#include "DisplayBenchSupport.h"

#include <cmath>

namespace {

std::vector<double> Sine(size_t count, double amplitude, double step, int phase) {
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] =
            amplitude * std::sin(step * static_cast<double>(i + static_cast<size_t>(phase)));
    }
    return values;
}

void BM_ScopeFrameLines(benchmark::State& state) {
    scopetest::TScopeRig rig(2);
    rig.Scope().GetYAxis()->SetMin(-15000.0);
    rig.Scope().GetYAxis()->SetMax(15000.0);
    int phase = 0;
    const std::vector<double> first = Sine(1024, 10000.0, 0.05, 0);
    const std::vector<double> second = Sine(1024, 5000.0, 0.03, 7);
    for (auto _ : state) {
        ++phase;
        rig.Send(0, phase % 2 == 0 ? first : second);
        rig.Send(1, phase % 2 == 0 ? second : first);
        rig.Scope().CheckNewData();
        rig.Scope().RenderToImage();
        benchmark::DoNotOptimize(rig.Scope().GetImage().constBits());
    }
}
BENCHMARK(BM_ScopeFrameLines);

void RunBarFrames(benchmark::State& state, const std::vector<double>& first,
                  const std::vector<double>& second) {
    scopetest::TScopeRig rig(2, 377, 286);
    rig.Scope().GetYAxis()->SetMin(0.0);
    rig.Scope().GetYAxis()->SetMax(500000.0);
    rig.Channel(0).SetChannelMode(cmBar);
    rig.Channel(0).SetWidth(5);
    rig.Channel(1).SetChannelMode(cmBar);
    rig.Channel(1).SetWidth(3);
    rig.Start(0, 44100.0, 128, true);
    rig.Start(1, 44100.0, 128, true);
    int phase = 0;
    for (auto _ : state) {
        ++phase;
        rig.Send(0, phase % 2 == 0 ? first : second);
        rig.Send(1, phase % 2 == 0 ? second : first);
        rig.Scope().CheckNewData();
        rig.Scope().RenderToImage();
        benchmark::DoNotOptimize(rig.Scope().GetImage().constBits());
    }
}

void BM_ScopeFrameBars(benchmark::State& state) {
    RunBarFrames(state, benchsupport::ToneSpectrum(12, 400000.0, 1),
                 benchsupport::ToneSpectrum(40, 250000.0, 2));
}
BENCHMARK(BM_ScopeFrameBars);

void BM_ScopeFrameTallBars(benchmark::State& state) {
    std::vector<double> first = Sine(128, 200000.0, 0.1, 0);
    std::vector<double> second = Sine(128, 150000.0, 0.07, 3);
    for (double& value : first) {
        value = 100000.0 + std::fabs(value);
    }
    for (double& value : second) {
        value = 100000.0 + std::fabs(value);
    }
    RunBarFrames(state, first, second);
}
BENCHMARK(BM_ScopeFrameTallBars);

} // namespace

int main(int argc, char** argv) {
    return benchsupport::RunWithApplication(argc, argv);
}
