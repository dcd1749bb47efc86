#pragma once

// A waterfall inside a form root, fed through a real source pin and rendered into images: the
// set-up the waterfall tests and the benchmark share.

#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "buffers/ZemVokStreamPins.h"
#include "display/ZemLegend.h"
#include "display/ZemScope.h"
#include "display/ZemToolBar.h"
#include "pins/VokComponent.h"
#include "pins/VokPin.h"
#include "waterfall/ZemLevelDisplay.h"
#include "waterfall/ZemWaterfall.h"
#include "waterfall/ZemWaterfallAxes.h"
#include "waterfall/ZemWaterfallItems.h"

#include <QImage>

#include <memory>
#include <vector>

namespace waterfalltest {

/// One-time start-up the waterfall needs (pin framework, buffer streams, class registry).
inline void InitializeOnce() {
    static const bool s_done = [] {
        VokInitializeFramework();
        ZemInitializeBufferStreams();
        RegisterDisplayClasses();
        RegisterWaterfallClasses();
        return true;
    }();
    (void)s_done;
}

/// A waterfall of the given size (refresh timer off) linked to a real source pin.
class TWaterfallRig {
  public:
    explicit TWaterfallRig(int width = 385, int height = 326) {
        InitializeOnce();
        m_root = std::make_unique<TVokForm>();
        m_root->SetName("Form1");
        m_waterfall = new TZemWaterfall(m_root.get());
        m_waterfall->SetName("ZemWaterfall1");
        m_waterfall->SetRefreshInterval(0);
        m_waterfall->SetBounds(0, 0, width, height);
        m_source = MakePin<TZemVokRealSourcePin>(m_root.get(), TZemPinHandler{});
        m_source->Connect(m_waterfall->GetInputPin());
    }
    ~TWaterfallRig() {
        m_source.reset();
        m_root.reset();
    }

    TZemWaterfall& Waterfall() { return *m_waterfall; }
    TZemVokRealSourcePin& Source() { return *m_source; }

    /// Sends one spectrum as a real buffer through the pin.
    void Send(const std::vector<double>& values) {
        TRef<TZemRealBuffer> buffer =
            MakeRef<TZemRealBuffer>(values.data(), static_cast<uint32_t>(values.size()));
        m_source->SendBuffer(buffer);
    }
    /// Sends a spectrum start of `sampleRate` with blocks of `blockSize`.
    void StartSpectrum(double sampleRate, int blockSize = 128) {
        TRef<TVokNotifyOperation> start =
            MakeRef<TVokStartSpectrumOperation>(blockSize, sampleRate);
        m_source->Notify(start.Get());
    }

    /// Shows only the image area, `samples` × `bins` pixels, coloured by a grey scale over the
    /// fixed level range 0 … 255 (so a value v paints grey v), on a `background` display.
    void MakeOneToOne(int samples, int bins, TVokColor background = 0x0000FF) {
        TZemWaterfall& waterfall = *m_waterfall;
        waterfall.GetTitle()->SetVisible(false);
        waterfall.GetXAxis()->SetVisible(false);
        waterfall.GetYAxis()->SetVisible(false);
        waterfall.GetLegend()->SetVisible(false);
        waterfall.GetLevels()->SetVisible(false);
        waterfall.GetToolBar()->SetVisible(false);
        waterfall.GetXAxis()->SetSamples(samples);
        waterfall.GetLevels()->SetGrayScale(true);
        waterfall.GetLevels()->GetAxis()->SetAutoscale(false);
        waterfall.GetLevels()->GetAxis()->SetMin(0);
        waterfall.GetLevels()->GetAxis()->SetMax(255);
        waterfall.SetColor(background);
        // A view's extent is its rectangle less one pixel.
        waterfall.SetBounds(0, 0, samples + 1, bins + 1);
    }

    /// Renders the screen picture (no toolbar when hidden) into the display's own image, as a
    /// repaint does, and returns a copy.
    QImage Paint() {
        m_waterfall->RenderToImage();
        return m_waterfall->GetImage().copy();
    }

  private:
    std::unique_ptr<TVokForm> m_root;
    TZemWaterfall* m_waterfall = nullptr; ///< owned by m_root
    TVokPinPtr<TZemVokRealSourcePin> m_source;
};

/// The colour of a pixel as 0x00RRGGBB.
inline uint32_t PixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

/// The grey 0x00vvvvvv of `value`.
inline uint32_t Grey(int value) {
    const auto v = static_cast<uint32_t>(value & 0xFF);
    return (v << 16) | (v << 8) | v;
}

/// A spectrum of `bins` values, value(bin) each.
template <class F> std::vector<double> Spectrum(int bins, F value) {
    std::vector<double> values(static_cast<size_t>(bins));
    for (int bin = 0; bin < bins; ++bin) {
        values[static_cast<size_t>(bin)] = value(bin);
    }
    return values;
}

} // namespace waterfalltest
