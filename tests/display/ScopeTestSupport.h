#pragma once

// A scope inside a form root, fed through real source pins, rendered into images: the set-up the
// scope tests, the form tests and the benchmark share.

#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "buffers/ZemVokStreamPins.h"
#include "display/ZemCanvas.h"
#include "display/ZemScope.h"
#include "display/ZemScopeAxes.h"
#include "pins/VokComponent.h"
#include "pins/VokPin.h"

#include <QImage>

#include <memory>
#include <vector>

namespace scopetest {

/// One-time start-up the displays need (pin framework, buffer streams, class registry).
inline void InitializeOnce() {
    static const bool s_done = [] {
        VokInitializeFramework();
        ZemInitializeBufferStreams();
        RegisterDisplayClasses();
        return true;
    }();
    (void)s_done;
}

/// A scope of the given size with `channels` channels, each linked to its own real source pin.
class TScopeRig {
  public:
    explicit TScopeRig(int channels = 1, int width = 374, int height = 286) {
        InitializeOnce();
        m_root = std::make_unique<TVokForm>();
        m_root->SetName("Form1");
        m_scope = new TZemScope(m_root.get());
        m_scope->SetName("Scope1");
        m_scope->SetRefreshInterval(0);
        m_scope->SetBounds(0, 0, width, height);
        while (m_scope->GetChannels()->GetCount() < channels) {
            m_scope->GetChannels()->Add();
        }
        for (int index = 0; index < channels; ++index) {
            m_sources.push_back(MakePin<TZemVokRealSourcePin>(m_root.get(), TZemPinHandler{}));
            m_sources.back()->Connect(m_scope->GetScopeChannel(index)->GetInputPin());
        }
    }
    ~TScopeRig() {
        m_sources.clear();
        m_root.reset();
    }

    TZemScope& Scope() { return *m_scope; }
    TZemScopeChannel& Channel(int index) { return *m_scope->GetScopeChannel(index); }
    TZemVokRealSourcePin& Source(int index) { return *m_sources[static_cast<size_t>(index)]; }

    /// Sends `values` as one real buffer down channel `index`'s source.
    void Send(int index, const std::vector<double>& values) {
        TRef<TZemRealBuffer> buffer =
            MakeRef<TZemRealBuffer>(values.data(), static_cast<uint32_t>(values.size()));
        Source(index).SendBuffer(buffer);
    }
    /// Sends a sample-rate start (a spectrum start when `spectrum`).
    void Start(int index, double sampleRate, int blockSize, bool spectrum) {
        TRef<TVokNotifyOperation> start =
            spectrum ? TRef<TVokNotifyOperation>(
                           MakeRef<TVokStartSpectrumOperation>(blockSize, sampleRate))
                     : TRef<TVokNotifyOperation>(
                           MakeRef<TVokStartSampleRateOperation>(blockSize, sampleRate));
        Source(index).Notify(start.Get());
    }
    /// Hands the incoming data over (the refresh step) and renders into a new image.
    QImage Refresh() {
        m_scope->CheckNewData();
        return m_scope->RenderPicture();
    }
    /// Hides title, legend and both axes, so the data view is the whole control.
    void HideDecorations();

  private:
    std::unique_ptr<TVokForm> m_root;
    TZemScope* m_scope = nullptr; ///< owned by m_root
    std::vector<TVokPinPtr<TZemVokRealSourcePin>> m_sources;
};

/// The colour of a pixel as 0x00RRGGBB.
inline uint32_t PixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

/// Rows of column `x` (from `top` to `bottom`, exclusive) whose colour is `rgb`.
inline std::vector<int> RowsOf(const QImage& image, int x, uint32_t rgb, int top = 0,
                               int bottom = -1) {
    std::vector<int> rows;
    const int end = bottom < 0 ? image.height() : bottom;
    for (int y = top; y < end; ++y) {
        if (PixelAt(image, x, y) == rgb) {
            rows.push_back(y);
        }
    }
    return rows;
}

} // namespace scopetest
