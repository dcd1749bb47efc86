#pragma once

// The waterfall's two axes: the history axis (one step per stored spectrum, labelled from its
// tick ends) and the bin axis (one step per spectrum bin, labelled in frequency, intensity or
// bins). Each keeps a zoom window in tick units and turns it into the visible whole spectra or
// bins that the image, the read-out and the markers use; the zoom rules of the waterfall (whole
// history steps, at least two steps or two bins wide) live here.
//
// Threads: GUI thread only, like every view. Producer threads never call into an axis; the
// waterfall hands the bin count over in its refresh step.

#include "display/ZemDisplayAxis.h"
#include "display/ZemScopeAxes.h"

#include <cstdint>
#include <memory>
#include <string>

class TVokFiler;
class TZemBasicWaterfall;

namespace detail {

/// Half the sample rate in the unit the bin axis shows: with k = trunc(log10(rate) ÷ 3),
/// `exponent` becomes 3k and the answer is rate ÷ 2 ÷ 10^3k. A rate that is not positive and
/// finite counts as 10000 (the rate assumed before any start).
double ZemWaterfallFrequencyEnd(double sampleRate, int& exponent);

/// The bin axis caption of a frequency unit exponent: −3 "mHz", 0 "Hz", 3 "kHz", 6 "Mhz",
/// anything else "Hz (E" followed by the decimal of −exponent and ")".
std::string ZemWaterfallFrequencyCaption(int exponent);

} // namespace detail

/// The history axis: one step per stored spectrum, at the bottom (on the left when the waterfall
/// is vertical).
///
/// Ranges: data 0 … `Samples`; ticks from `MinTick` to `MaxTick` (an end with `AutoScale` is the
/// data end, 0 or `Samples`, otherwise its `Value`). The zoom window holds two whole tick values
/// (−1, 1 at creation). While the display is zoomed, the visible spectra hs … he are the window's
/// ends converted to indices ((t − tick minimum) ÷ tick span × `Samples`), rounded and clamped to
/// 0 … `Samples`; otherwise 0 … `Samples`. The tick-visible range maps hs … he linearly onto the
/// tick range. The major step is a whole number, at least 1; labels are whole numbers.
///
/// Published: `Samples` (512), `MinTick` (`Value` 0), `MaxTick` (`Value` 1024); `Reversed`
/// inherited (a change also rebuilds the waterfall's image).
class TZemWaterfallXAxis : public TZemDisplayXAxis {
  public:
    /// The waterfall owns the axis (as a view) and outlives it; null only in tests of the rules.
    explicit TZemWaterfallXAxis(TZemBasicWaterfall* waterfall);
    ~TZemWaterfallXAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// The capacity of the spectrum store and the image's extent along the history.
    int GetSamples() const { return m_sampleCount; }
    /// 0 stores 1024. A changed value drops the cached values, tells the waterfall
    /// (`SamplesChanged`) and re-lays out. Throws std::invalid_argument for a negative value.
    void SetSamples(int value);
    /// The framework's sample count is `Samples`: this sets it (negative counts as 0).
    void SetSampleCount(int count) override;
    /// A change also rebuilds the waterfall's image (`OrientationChanged`).
    void SetReversed(bool value) override;
    TZemBasicScopeAxisValue* GetMinTick() const { return m_minTick.get(); }
    TZemMaxScopeTickValue* GetMaxTick() const { return m_maxTick.get(); }

    /// hs and he: the first visible spectrum and the end of the visible spectra.
    int GetFirstVisibleSample() override;
    int GetLastVisibleSample() override;
    /// The whole major step of the base's choice, at least 1.
    double GetMajorStep() override;

    // --- Zoom window (called by the waterfall) ---------------------------------------------
    /// Sets the window to (`minimum`, `maximum`) in tick units (taken in either order): each end
    /// rounded (halves to even); a window narrower than 2 steps ends 2 steps after its start,
    /// and when that passes the tick maximum it ends at the rounded tick maximum and starts 2
    /// steps before. Values that are not finite change nothing. Drops the cached values.
    void ZoomToWindow(double minimum, double maximum);
    /// Zooms about the window's centre by `factor` (< 1 zooms in). When the display is not
    /// zoomed the window first becomes the rounded tick-visible range. It changes only when it
    /// spans more than 2 steps or `factor` > 1: d = round(span × `factor` − span), half = d ÷ 2
    /// (1 when that is 0), both ends move out by half and are rounded, then the 2-step rule
    /// above applies. A factor that is not finite changes nothing. Drops the cached values.
    void ZoomWindowBy(double factor);
    /// True when the window reaches from the tick minimum to the tick maximum (or beyond).
    bool CoversFullRange();
    int GetZoomMin() const { return m_zoomMin; }
    int GetZoomMax() const { return m_zoomMax; }
    /// The window's ends.
    void GetZoomRange(double& minimum, double& maximum) override;
    /// The axis toolbar's zoom: saves the zoom state when asked, sets the window, repaints.
    void ZoomAxisTo(bool saveHistory, double first, double second) override;

  protected:
    double ComputeDataMin() override { return 0.0; }
    double ComputeDataMax() override { return m_sampleCount; }
    double ComputeVisibleMin() override { return GetFirstVisibleSample(); }
    double ComputeVisibleMax() override { return GetLastVisibleSample(); }
    double ComputeTickMin() override;
    double ComputeTickMax() override;
    double ComputeTickVisibleMin() override;
    double ComputeTickVisibleMax() override;

  private:
    bool IsZoomed() const;
    /// The window end `tick` as a spectrum index, rounded and clamped to 0 … `Samples`.
    int WindowIndex(double tick);
    /// Stores the window with the 2-step minimum applied.
    void StoreWindow(int64_t start, int64_t end);
    /// Caches, step and layout after a change of a range setting.
    void RangeChanged();

    TZemBasicWaterfall* m_waterfall;
    std::unique_ptr<TZemBasicScopeAxisValue> m_minTick;
    std::unique_ptr<TZemMaxScopeTickValue> m_maxTick;
    int m_zoomMin = -1;
    int m_zoomMax = 1;
};

/// The bin axis: one step per bin of a spectrum, on the left (at the bottom, running left to
/// right, when the waterfall is vertical: there its `Reversed` sense is inverted so that bin 0
/// sits at the left like the image's first column).
///
/// Modes: frequency when `TicksMode` is atmFrequency, or atmAuto and the waterfall receives
/// spectra; intensity when atmIntensity, or atmAuto and the waterfall receives intensity data.
/// Ranges: data 0 … `BinCount`; ticks `MinTick` … `MaxTick` (atmManual), the waterfall's
/// frequency start … end (frequency mode), else 0 … `BinCount`. The zoom window holds two tick
/// values (−1.0, 1.0 at creation). While the display is zoomed the visible bins are the window
/// converted to bins, rounded and clamped to 0 … `BinCount` (so image, ticks and read-out never
/// reach past the stored bins); the tick-visible range maps those bins onto the tick range.
///
/// Caption when `AxisLabel.Text` is empty: "Y Axis" (atmAuto while designing), the frequency
/// unit, "Intensity" or "Samples". Labels: fixed-point with decimals from `Precision`,
/// `FixedPrecision` and the tick-visible span.
///
/// Published: `TicksMode` (atmAuto, always stored), `Precision` (3, clamped to 0 … 18),
/// `FixedPrecision` (false), `MinTick` (0) and `MaxTick` (500), the last two stored only
/// together as the form property "MinMax" (a list of two numbers).
class TZemWaterfallYAxis : public TZemDisplayYAxis {
  public:
    /// The bin count before any spectrum arrives.
    static constexpr int kInitialBinCount = 500;

    /// The waterfall owns the axis (as a view) and outlives it; null only in tests of the rules.
    explicit TZemWaterfallYAxis(TZemBasicWaterfall* waterfall);
    ~TZemWaterfallYAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayAxisTicksMode GetTicksMode() const { return m_ticksMode; }
    /// Throws std::invalid_argument for a value outside the enumeration.
    void SetTicksMode(TZemDisplayAxisTicksMode value);
    int32_t GetPrecision() const { return m_precision; }
    void SetPrecision(int32_t value);
    bool GetFixedPrecision() const { return m_fixedPrecision; }
    void SetFixedPrecision(bool value);
    double GetMinTick() const { return m_minTick; }
    /// Throws std::invalid_argument for a value that is not finite.
    void SetMinTick(double value);
    double GetMaxTick() const { return m_maxTick; }
    void SetMaxTick(double value);

    /// The number of bins of the oldest stored spectrum. Setting it (GUI thread; values below 1
    /// count as 1) drops the cached values and re-lays out when it changed.
    int GetBinCount() const { return m_binCount; }
    void SetBinCount(int count);

    bool IsFrequencyMode() const;
    bool IsIntensityMode() const;
    /// The first visible bin and the end of the visible bins (0 and `BinCount` unless zoomed).
    int GetFirstVisibleBin();
    int GetEndVisibleBin();

    std::string GetCaption() override;
    /// Y mapping with the sense inverted while the waterfall is vertical.
    void GetMapping(double first, double second, int& offset, double& scale) override;
    bool IsReversed() const override;
    void DefineProperties(TVokFiler& filer) override;

    // --- Zoom window (called by the waterfall) ---------------------------------------------
    /// Sets the window to (`minimum`, `maximum`) in tick units (either order), at least 0.0001
    /// wide; a window spanning no more than one bin (tick span ÷ `BinCount`) ends two bins after
    /// its start, and when that passes the tick maximum it ends at the rounded tick maximum and
    /// starts two bins before. Values that are not finite change nothing. Drops the cached
    /// values.
    void ZoomToWindow(double minimum, double maximum);
    /// Zooms about the window's centre: each end moves out by (span × `factor` − span) ÷ 2, then
    /// the rules above apply. When the display is not zoomed the window first becomes the
    /// tick-visible range. A factor that is not finite changes nothing.
    void ZoomWindowBy(double factor);
    /// True when the window reaches from the tick minimum to the tick maximum (or beyond).
    bool CoversFullRange();
    void GetZoomRange(double& minimum, double& maximum) override;
    void ZoomAxisTo(bool saveHistory, double first, double second) override;

  protected:
    double ComputeDataMin() override { return 0.0; }
    double ComputeDataMax() override { return m_binCount; }
    double ComputeVisibleMin() override;
    double ComputeVisibleMax() override;
    double ComputeTickMin() override;
    double ComputeTickMax() override;
    double ComputeTickVisibleMin() override;
    double ComputeTickVisibleMax() override;
    std::string FormatValue(double value) override;
    bool MinAtLeadingEnd() const override { return IsReversed(); }
    /// Also drops the cached values and the step.
    void SettingsChanged() override;

  private:
    bool IsZoomed() const;
    /// The window end `tick` as a whole bin clamped to 0 … `BinCount`.
    double WindowBin(double tick);
    void StoreWindow(double start, double end);

    TZemBasicWaterfall* m_waterfall;
    TZemDisplayAxisTicksMode m_ticksMode = atmAuto;
    int32_t m_precision = 3;
    bool m_fixedPrecision = false;
    double m_minTick = 0.0;
    double m_maxTick = 500.0;
    int m_binCount = kInitialBinCount;
    double m_zoomMin = -1.0;
    double m_zoomMax = 1.0;
};
