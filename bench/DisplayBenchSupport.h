#pragma once

// What the display benchmarks share: the anchor they are measured against (one plain QPainter
// polyline, in every display benchmark executable so ratios come from the same run), a tone's
// magnitude spectrum as the analyser sends it, and a main that makes the offscreen application.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace benchsupport {

/// The anchor: a plain drawPolyline of a 1024-point sine, 1-px pen, onto a 374 × 286 RGB32
/// image.
inline void BM_AnchorPolyline1024(benchmark::State& state) {
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

/// A magnitude spectrum of 128 bins: a tone at bin `peak` with its leakage over a noise floor
/// of 2000 … 6000 (different for each `seed`).
inline std::vector<double> ToneSpectrum(int peak, double height, int seed) {
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

/// Runs the registered benchmarks inside an application on the offscreen platform (unless the
/// environment names another).
inline int RunWithApplication(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport

BENCHMARK(benchsupport::BM_AnchorPolyline1024)->Name("BM_AnchorPolyline1024");
