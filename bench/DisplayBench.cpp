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

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

namespace {

std::vector<double> Sine(size_t count, double amplitude, double step, int phase) {
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] =
            amplitude * std::sin(step * static_cast<double>(i + static_cast<size_t>(phase)));
    }
    return values;
}

void BM_AnchorPolyline1024(benchmark::State& state) {
    QImage image(374, 286, QImage::Format_RGB32);
    image.fill(Qt::black);
    std::vector<QPoint> points(1024);
    for (size_t i = 0; i < points.size(); ++i) {
        points[i] = QPoint(static_cast<int>(i * 373 / 1023),
                           143 + static_cast<int>(120 * std::sin(0.05 * static_cast<double>(i))));
    }
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setPen(QPen(Qt::red, 1));
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_AnchorPolyline1024);

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

/// A magnitude spectrum of a tone at bin `peak` with its leakage and a noise floor.
std::vector<double> ToneSpectrum(int peak, double height, int seed) {
    std::vector<double> bins(128);
    uint32_t noise = 2463534242U + static_cast<uint32_t>(seed);
    for (size_t bin = 0; bin < bins.size(); ++bin) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double distance = static_cast<double>(static_cast<int>(bin) - peak);
        bins[bin] = height / (1.0 + distance * distance) + 2000.0 + (noise % 4000);
    }
    return bins;
}

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
    RunBarFrames(state, ToneSpectrum(12, 400000.0, 1), ToneSpectrum(40, 250000.0, 2));
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
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
