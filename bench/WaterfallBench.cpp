// The waterfall's frames against the same anchor as the scope's (one plain QPainter polyline,
// measured in this run too).
//   BM_WaterfallIncremental/<smooth>: the window's waterfall (385 × 326, history of 1024
//     spectra, 128 bins, rainbow colours, level range following the data), history full,
//     17 new spectra per frame (the window's rate at a 100 ms refresh): store, scroll, colour
//     the new columns and stretch into the view. Every spectrum has the same extremes, so the
//     level range stays put. Argument 1: bilinear stretch, 0: nearest pixel.
//   BM_WaterfallFullRecolour/<smooth>: the same display re-colouring all 1024 × 128 pixels
//     (what a moved level range costs) and stretching.
//   BM_PixelColor: the colour function over 131072 levels; the counter is the time per pixel.
#include "../tests/waterfall/WaterfallTestSupport.h"
#include "DisplayBenchSupport.h"

#include <vector>

namespace {

/// Tone spectra with the same minimum (0) and maximum (350000) each, different noise.
std::vector<std::vector<double>> SteadySpectra() {
    std::vector<std::vector<double>> spectra;
    for (int seed = 0; seed < 64; ++seed) {
        std::vector<double> spectrum = benchsupport::ToneSpectrum(40, 300000.0, seed);
        spectrum[0] = 0.0;
        spectrum[40] = 350000.0;
        spectra.push_back(std::move(spectrum));
    }
    return spectra;
}

/// The window's waterfall with a full history.
class TWindowWaterfall {
  public:
    explicit TWindowWaterfall(bool smooth) : m_spectra(SteadySpectra()) {
        TZemWaterfall& waterfall = m_rig.Waterfall();
        waterfall.GetXAxis()->SetSamples(1024);
        waterfall.GetXAxis()->GetMaxTick()->SetValue(1024.0);
        waterfall.GetYAxis()->SetMaxTick(500.0);
        waterfall.GetLevels()->GetAxis()->SetMax(400000);
        waterfall.GetTitle()->SetVisible(false);
        waterfall.GetLegend()->SetVisible(false);
        waterfall.GetLevels()->GetLevelLabel()->SetVisible(false);
        waterfall.SetSmoothStretch(smooth);
        m_rig.StartSpectrum(44100.0);
        for (int index = 0; index < 1100; ++index) {
            Add();
        }
        waterfall.RenderToImage();
    }
    void Add() {
        const std::vector<double>& spectrum = m_spectra[m_next++ % m_spectra.size()];
        m_rig.Waterfall().GetData().AddData(spectrum.data(), uint32_t(spectrum.size()));
    }
    TZemWaterfall& Waterfall() { return m_rig.Waterfall(); }

  private:
    waterfalltest::TWaterfallRig m_rig;
    std::vector<std::vector<double>> m_spectra;
    size_t m_next = 0;
};

void BM_WaterfallIncremental(benchmark::State& state) {
    TWindowWaterfall window(state.range(0) != 0);
    for (auto _ : state) {
        for (int index = 0; index < 17; ++index) {
            window.Add();
        }
        window.Waterfall().RenderToImage();
        benchmark::DoNotOptimize(window.Waterfall().GetImage().constBits());
    }
}
BENCHMARK(BM_WaterfallIncremental)->Arg(1)->Arg(0);

void BM_WaterfallFullRecolour(benchmark::State& state) {
    TWindowWaterfall window(state.range(0) != 0);
    for (auto _ : state) {
        window.Waterfall().RequestRecolour();
        window.Waterfall().RenderToImage();
        benchmark::DoNotOptimize(window.Waterfall().GetImage().constBits());
    }
}
BENCHMARK(BM_WaterfallFullRecolour)->Arg(1)->Arg(0);

void BM_PixelColor(benchmark::State& state) {
    waterfalltest::TWaterfallRig rig;
    const TZemDisplayLevelView& levels = *rig.Waterfall().GetLevels();
    constexpr int kPixels = 1024 * 128;
    std::vector<double> values(kPixels);
    for (int index = 0; index < kPixels; ++index) {
        values[size_t(index)] = 400000.0 * (index % 1000) / 999.0;
    }
    std::vector<uint32_t> pixels(kPixels);
    for (auto _ : state) {
        levels.PixelColors(values.data(), kPixels, 0.0, 400000.0, false, pixels.data(), 1);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["per_pixel"] = benchmark::Counter(
        kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PixelColor);

} // namespace

int main(int argc, char** argv) {
    return benchsupport::RunWithApplication(argc, argv);
}
