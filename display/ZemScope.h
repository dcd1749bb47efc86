#pragma once

#include "display/ZemDataChart.h"
#include "display/ZemScopeChannel.h"

#include <atomic>
#include <memory>

class TZemScope;

/// The plot area of a chart: grid lines under the channels and, later, the pointer's hover
/// state. Published: `GridColor` (0x008000), `ZeroGridColor` (white).
class TZemScopeDataView : public TZemDisplayView {
  public:
    explicit TZemScopeDataView(TZemDataChart* chart);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetGridColor() const { return m_gridColor; }
    void SetGridColor(TVokColor value);
    TVokColor GetZeroGridColor() const { return m_zeroGridColor; }
    void SetZeroGridColor(TVokColor value);

    void GetPreferredSize(int& width, int& height) const override {
        width = -1;
        height = -1;
    }
    TZemViewAlignment GetAlignment() const override { return zvaClient; }
    /// Draws the grid: a line at every major tick of both axes, the zero line in `ZeroGridColor`.
    void DrawView(const TZemDrawArgs& args) override;

  private:
    TZemDataChart* m_chart;
    TVokColor m_gridColor = 0x008000;
    TVokColor m_zeroGridColor = 0xFFFFFF;
};

/// The oscilloscope and spectrum display: a chart whose channels are scope channels.
///
/// Threads: producer threads reach the scope only through channel pins: they store incoming
/// data, set atomic flags (`RequestAutoScaleReset`, the layout-needed flag) and request a
/// repaint from any thread. The refresh tick on the GUI thread applies everything.
///
/// Published: `Channels`, `Cursors`, `CursorLinks`, `MarkerGroups`, `Vertical` (false),
/// `SizeLimit` (0: no history), `_Channels` (ignored). A new scope holds one channel.
class TZemScope : public TZemDataChart {
  public:
    explicit TZemScope(TVokComponent* owner);
    ~TZemScope() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemScopeChannels* GetChannels() const { return m_channels.get(); }
    TZemDisplayCollection* GetChannelCollection() const override;
    int GetChannelCount() const override;
    TZemDisplayChannel* GetChannel(int index) const override;
    TZemScopeChannel* GetScopeChannel(int index) const { return m_channels->GetChannel(index); }

    bool GetVertical() const { return m_vertical; }
    void SetVertical(bool value);
    bool IsVertical() const override { return m_vertical; }
    bool IsVerticalReversed() const override;
    /// Read by producer threads.
    uint32_t GetSizeLimit() const { return m_sizeLimit.load(std::memory_order_acquire); }
    /// A lower non-zero limit cuts every channel's longer incoming data to its first samples.
    void SetSizeLimit(uint32_t value);

    // --- Chart operations ----------------------------------------------------------------------
    bool HasSpectrumChannel() override;
    bool HasIntensityChannel() override;
    double GetSampleRate() override;
    double GetDataXMin() override;
    double GetDataXMax() override;
    void InvalidateScales() override;
    void ResetAutoScale() override;
    bool GetVisibleYRange(int64_t first, int64_t last, double& minimum, double& maximum) override;
    bool HasVisibleData() override;
    bool CheckNewData() override;
    void Render(TZemCanvas& canvas, const QRegion& region, bool exporting) override;
    std::string GetPrintTitle() const override { return m_printTitle; }
    void InvalidateLayout() override;
    void RedrawDisplay() override;

    /// Producer threads: a start (`start`) or stop arrived; the GUI thread empties the autoscale
    /// history (and, for a start, drops the scale caches) at the next refresh.
    void RequestAutoScaleReset(bool start);
    /// Set while an `OnChannelDraw` handler runs: property changes then schedule no repaint.
    void SetSuppressInvalidate(bool value) { m_suppressInvalidate = value; }
    /// Whether `channel` is drawn highlighted (hovered, or hovered in the legend).
    bool IsChannelHighlighted(const TZemDisplayChannel* channel) const;
    TVokColor GetChannelHighlightColor() const;

  protected:
    void Loaded() override;

  private:
    /// Applies what producer threads recorded (autoscale reset, scale caches).
    void ApplyRequests();
    void DrawChannels(TZemCanvas& canvas, const TZemDrawArgs& args, const TZemRect& dataRect);
    /// The X range of the channels that hold data, each read under its display lock.
    bool GetChannelsXRange(double& minimum, double& maximum);

    std::unique_ptr<TZemScopeChannels> m_channels;
    bool m_vertical = false;
    std::atomic<uint32_t> m_sizeLimit{0};
    std::atomic<bool> m_autoScaleResetRequested{false};
    std::atomic<bool> m_scalesResetRequested{false};
    bool m_suppressInvalidate = false;
    // Caches of the GUI thread, dropped by `InvalidateScales`.
    bool m_kindValid = false;
    bool m_spectrum = false;
    bool m_intensity = false;
    bool m_sampleRateValid = false;
    double m_sampleRate = 10000.0;
    std::string m_printTitle = "Unknown";
};

/// Registers the display classes the form reader creates by name (`TZemScope`). Idempotent;
/// call once at start-up after the pin framework is initialised.
void RegisterDisplayClasses();
