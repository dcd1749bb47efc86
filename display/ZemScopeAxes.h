#pragma once

// The scope's two axes: which range they show and how they label it. The X axis takes its range
// and unit (samples, seconds, hertz) from the channels and the announced sample rate; the Y axis
// follows the data with spaces above and below, a history of recent extremes and a hysteresis
// threshold, or shows a fixed or zoomed range. Both label ticks with a precision rule and pan
// by dragging while the display is zoomed.
//
// Threads: GUI thread only, like every view. The chart drops the cached values after new data
// and runs `HistoryStep`; producer threads never call into an axis.

#include "display/ZemDisplayAxis.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TZemDataChart;
class TVokFiler;
class TVokReader;

/// How the scope X axis chooses its unit and range: from the channels (atmAuto), as sample
/// indices (atmBufferSamples), as frequency (atmFrequency), intensity (atmIntensity), time
/// (atmTime), or from the tick values set by hand (atmManual).
enum TZemDisplayAxisTicksMode : uint8_t {
    atmAuto,
    atmBufferSamples,
    atmFrequency,
    atmIntensity,
    atmTime,
    atmManual
};

/// `Max.Mode`: the maximum is `Value` itself (mamValue) or the minimum plus `Value` (mamOffset).
enum TZemMaxAxisMode : uint8_t { mamValue, mamOffset };

namespace detail {

/// What the scope X axis shows.
enum TZemXAxisDataKind : uint8_t { xdkSamples, xdkTime, xdkFrequency, xdkIntensity };

/// The kind of X data: time for atmTime; frequency for atmFrequency or atmAuto with a spectrum
/// channel; intensity for atmIntensity or atmAuto with an intensity channel; else samples
/// (atmBufferSamples and atmManual included).
TZemXAxisDataKind ZemXAxisDataKind(TZemDisplayAxisTicksMode mode, bool hasSpectrum,
                                   bool hasIntensity);

/// The automatic unit exponent E: time 3 × trunc(log10(rate ÷ samples × 1000) ÷ 3), frequency
/// 3 × trunc(log10(rate) ÷ 3), otherwise 0. Time is shown × 10^E, frequency ÷ 10^E. A rate or
/// count that is not positive and finite gives 0; |E| stays below 310.
int ZemXUnitExponent(TZemXAxisDataKind kind, double sampleRate, int sampleCount);

/// The automatic caption of a kind and exponent: "Sec", "mSec", "uSec", "nSec" or "Sec (E<−E>)";
/// "nHz" … "GHz" or "Hz (E<−E>)"; "Intensity"; "Samples".
std::string ZemXAxisCaption(TZemXAxisDataKind kind, int exponent);

/// Decimals of a scope tick label: `precision` when `fixedPrecision`; 0 when `precision` ≤ 0;
/// otherwise `precision` − (trunc(log10 R) + 1) (0 when R = 0), + 1 when R < 1, never below 0,
/// where R = |`range`| (the visible span). At most 400.
int ZemScopeLabelDigits(int precision, bool fixedPrecision, double range);

/// The scope label of `value`: fixed-point with `ZemScopeLabelDigits` decimals; with
/// `fixedPrecision`, a text in exponent form keeps `precision` decimals before the "E" and
/// loses the zeros right after it.
std::string ZemFormatScopeLabel(double value, int precision, bool fixedPrecision, double range);

/// The next number of a form-file value list: an integer or a finite float (read without
/// regard to the process locale). Anything else is a positioned error naming `property`.
double ZemReadFormNumber(TVokReader& reader, const char* property);

/// Throws std::invalid_argument naming `name` unless `value` is finite.
void ZemRequireFinite(double value, const char* name);

/// The state of a pan by dragging on an axis.
struct TZemAxisDrag {
    bool m_active = false;
    int m_startX = 0;
    int m_startY = 0;
    double m_startMin = 0.0;
    double m_startMax = 0.0;
};

} // namespace detail

/// One side of the Y autoscaling (`SpaceAbove`, `SpaceBelow`): `Space` (20) percent of the data
/// range added beyond the data, `Threshold` (10) percent of hysteresis before the range shrinks.
class TZemScopeAutoScalingSpace : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopeAutoScalingSpace(std::function<void()> onChange)
        : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    uint32_t GetSpace() const { return m_space; }
    void SetSpace(uint32_t value);
    uint32_t GetThreshold() const { return m_threshold; }
    void SetThreshold(uint32_t value);

  private:
    std::function<void()> m_onChange;
    uint32_t m_space = 20;
    uint32_t m_threshold = 10;
};

/// `AutoScaling` of the scope Y axis: `Enabled` (true), `SpaceAbove`, `SpaceBelow`, `MaxHistory`
/// (20), and the ring of the last `MaxHistory` data minima and maxima with the last limits, so
/// the range opens at once when data grows and shrinks only when the extremes have left the
/// history and moved by more than half the threshold percentage of the range.
class TZemScopeAutoScaling : public TVokPersistent, public IVokPublished {
  public:
    /// Longest history accepted (two doubles per entry).
    static constexpr uint32_t kMaxHistoryLimit = 1000000;

    explicit TZemScopeAutoScaling(std::function<void()> onChange);
    ~TZemScopeAutoScaling() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetEnabled() const { return m_enabled; }
    void SetEnabled(bool value);
    TZemScopeAutoScalingSpace* GetSpaceAbove() const { return m_spaceAbove.get(); }
    TZemScopeAutoScalingSpace* GetSpaceBelow() const { return m_spaceBelow.get(); }
    uint32_t GetMaxHistory() const { return m_maxHistory; }
    /// Replaces both history rings with empty ones of the new length. Throws
    /// std::invalid_argument above `kMaxHistoryLimit`, naming the value.
    void SetMaxHistory(uint32_t value);

    /// Stores one refresh's data extremes (nothing when `MaxHistory` is 0).
    void PushHistory(double minimum, double maximum);
    /// Empties the history (a start or stop arrived).
    void ClearHistory();
    /// Entries in the history (at most `MaxHistory`).
    uint32_t GetHistoryCount() const { return m_fillCount; }

    /// The autoscaled visible range for data extremes (`dataMin`, `dataMax`): the history's
    /// extremes (or the data's when the history is empty), widened by the spaces, and kept at
    /// the last limits while within the thresholds. Remembers the result as the last limits,
    /// so calling it again with the same input gives the same range.
    TZemRealRange ComputeRange(double dataMin, double dataMax);

  private:
    void Changed();

    std::function<void()> m_onChange;
    bool m_enabled = true;
    std::unique_ptr<TZemScopeAutoScalingSpace> m_spaceAbove;
    std::unique_ptr<TZemScopeAutoScalingSpace> m_spaceBelow;
    uint32_t m_maxHistory = 20;
    std::vector<double> m_minima; ///< ring of `m_maxHistory` entries
    std::vector<double> m_maxima;
    uint32_t m_writeIndex = 0;
    uint32_t m_fillCount = 0;
    bool m_hasLastLower = false;
    double m_lastLower = 0.0;
    bool m_hasLastUpper = false;
    double m_lastUpper = 0.0;
};

/// `CursorSettings` of a scope axis: `SnapToSample` (false). A change repaints the display.
class TZemDisplayAxisCursorSettings : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayAxisCursorSettings(std::function<void()> onChange)
        : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetSnapToSample() const { return m_snapToSample; }
    void SetSnapToSample(bool value);

  private:
    std::function<void()> m_onChange;
    bool m_snapToSample = false;
};

/// An end of the scope X range: `AutoScale` (true) and `Value` (0.0). Every change calls the
/// axis back (caches dropped, layout).
class TZemBasicScopeAxisValue : public TVokPersistent, public IVokPublished {
  public:
    TZemBasicScopeAxisValue(std::function<void()> onChange, double value)
        : m_onChange(std::move(onChange)), m_value(value) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetAutoScale() const { return m_autoScale; }
    void SetAutoScale(bool value);
    double GetValue() const { return m_value; }
    /// Throws std::invalid_argument for a value that is not finite.
    void SetValue(double value);

  protected:
    void Changed() {
        if (m_onChange) {
            m_onChange();
        }
    }

  private:
    std::function<void()> m_onChange;
    bool m_autoScale = true;
    double m_value;
};

/// The tick value of the X maximum: `Value` defaults to 1024.
class TZemMaxScopeTickValue : public TZemBasicScopeAxisValue {
  public:
    explicit TZemMaxScopeTickValue(std::function<void()> onChange)
        : TZemBasicScopeAxisValue(std::move(onChange), 1024.0) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// `Min` of the scope X axis: adds `Tick`, the value that labels this end of the axis.
class TZemScopeAxisValue : public TZemBasicScopeAxisValue {
  public:
    TZemScopeAxisValue(std::function<void()> onChange, double value);
    ~TZemScopeAxisValue() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemBasicScopeAxisValue* GetTick() const { return m_tick.get(); }

  protected:
    TZemScopeAxisValue(std::function<void()> onChange, double value,
                       std::unique_ptr<TZemBasicScopeAxisValue> tick);

  private:
    std::unique_ptr<TZemBasicScopeAxisValue> m_tick;
};

/// `Max` of the scope X axis: `Value` and `Tick.Value` 1024, and `Mode` (mamValue).
class TZemMaxScopeAxisValue : public TZemScopeAxisValue {
  public:
    explicit TZemMaxScopeAxisValue(std::function<void()> onChange);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemMaxAxisMode GetMode() const { return m_mode; }
    /// Throws std::invalid_argument for a value outside the enumeration.
    void SetMode(TZemMaxAxisMode value);

  private:
    TZemMaxAxisMode m_mode = mamValue;
};

/// `MaxSample`: the X sample count is the one the scope reports (`Autosize`, true) or `Value`
/// (1024).
class TZemScopeMaxSample : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopeMaxSample(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetAutosize() const { return m_autosize; }
    void SetAutosize(bool value);
    uint32_t GetValue() const { return m_value; }
    void SetValue(uint32_t value);

  private:
    std::function<void()> m_onChange;
    bool m_autosize = true;
    uint32_t m_value = 1024;
};

/// `UnitScale`: the unit exponent is chosen from the data (`AutoScale`, true) or is `Exponent`
/// (0; kept within ±300).
class TZemScopeXAxisUnitScale : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopeXAxisUnitScale(std::function<void()> onChange)
        : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetAutoScale() const { return m_autoScale; }
    void SetAutoScale(bool value);
    int32_t GetExponent() const { return m_exponent; }
    void SetExponent(int32_t value);

  private:
    std::function<void()> m_onChange;
    bool m_autoScale = true;
    int32_t m_exponent = 0;
};

/// The scope's Y axis: `Min` (−1000) and `Max` (1000), stored only through the form property
/// "MinMax"; autoscaling; a zoom range (−1 … 1 until the first zoom); label precision;
/// logarithmic mapping. Caption text "Y Axis" at creation.
///
/// Published: `Precision` (3, clamped to 0 … 18), `FixedPrecision` (false), `AutoScaling`,
/// `CursorSettings`, `Logarithmic` (false); form-file properties "MinMax" (a list of two
/// numbers, read and written) and "AutoScale" (read only, → `AutoScaling.Enabled`).
class TZemScopeYAxis : public TZemDisplayYAxis {
  public:
    /// `chart` owns the axis (as a view) and outlives it; null only in tests of the value rules.
    explicit TZemScopeYAxis(TZemDataChart* chart);
    ~TZemScopeYAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    double GetMin() const { return m_min; }
    /// Throws std::invalid_argument for a value that is not finite.
    void SetMin(double value);
    double GetMax() const { return m_max; }
    void SetMax(double value);
    int32_t GetPrecision() const { return m_precision; }
    void SetPrecision(int32_t value);
    bool GetFixedPrecision() const { return m_fixedPrecision; }
    void SetFixedPrecision(bool value);
    TZemScopeAutoScaling* GetAutoScaling() const { return m_autoScaling.get(); }
    TZemDisplayAxisCursorSettings* GetCursorSettings() const { return m_cursorSettings.get(); }
    bool GetLogarithmic() const { return m_logarithmic; }
    void SetLogarithmic(bool value);
    bool IsLogarithmic() const override { return m_logarithmic; }

    // --- Zoom and autoscaling (called by the chart) ------------------------------------------
    /// Sets the zoom range to [min(a, b), max(a, b)], at least 0.0001 wide, and drops the
    /// cached values. Values that are not finite are ignored.
    void SetZoomRange(double a, double b);
    /// Zooms by `factor` about the centre of the tick-visible range (< 1 zooms in).
    void ZoomByFactor(double factor);
    void GetZoomRange(double& minimum, double& maximum) override;
    void ZoomAxisTo(bool saveHistory, double first, double second) override;
    /// After a refresh that brought new data: stores the data extremes in the autoscale
    /// history (when `MaxHistory` > 0 and a visible channel holds data).
    void HistoryStep();
    /// Empties the autoscale history.
    void ClearHistory();

    void InvalidateValues() override;
    void DefineProperties(TVokFiler& filer) override;

    void MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                   int y) override;
    void MouseMove(TZemShiftState shift, int x, int y) override;
    void MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y) override;

  protected:
    double ComputeDataMin() override;
    double ComputeDataMax() override;
    double ComputeVisibleMin() override;
    double ComputeVisibleMax() override;
    std::string FormatValue(double value) override;
    /// Also drops the step cache.
    void SettingsChanged() override;

  private:
    TZemDataChart* Chart() const;
    void UpdateDataRange();
    void UpdateVisibleRange();

    double m_min = -1000.0;
    double m_max = 1000.0;
    double m_zoomMin = -1.0;
    double m_zoomMax = 1.0;
    int32_t m_precision = 3;
    bool m_fixedPrecision = false;
    bool m_logarithmic = false;
    std::unique_ptr<TZemScopeAutoScaling> m_autoScaling;
    std::unique_ptr<TZemDisplayAxisCursorSettings> m_cursorSettings;
    // Both ends are computed together (one scan of the channels, one autoscaling step).
    bool m_dataRangeValid = false;
    TZemRealRange m_dataRange;
    bool m_hasChannelData = false;
    bool m_visibleRangeValid = false;
    TZemRealRange m_visibleRange;
    detail::TZemAxisDrag m_drag;
};

/// The scope's X axis: range, unit exponent and caption from the ticks mode, the channels and
/// the sample rate; the sample count the scope reports; a zoom range (−1 … 1 until the first
/// zoom) that follows a moving tick minimum.
///
/// Published: `Precision` (3, clamped to 0 … 18), `FixedPrecision` (false), `TicksMode`
/// (atmAuto), `CursorSettings`, `Min`, `Max`, `MaxSample`, `UnitScale`; form-file properties
/// read only: "MinMax" (→ `Min.Tick.Value`, `Max.Tick.Value`), "MinMaxScale" (→ `Min.Value`,
/// `Max.Value`), "AutoScale" (→ `Min.AutoScale` and `Max.AutoScale`).
class TZemScopeXAxis : public TZemDisplayXAxis {
  public:
    /// `chart` owns the axis (as a view) and outlives it; null only in tests of the value rules.
    explicit TZemScopeXAxis(TZemDataChart* chart);
    ~TZemScopeXAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int32_t GetPrecision() const { return m_precision; }
    void SetPrecision(int32_t value);
    bool GetFixedPrecision() const { return m_fixedPrecision; }
    void SetFixedPrecision(bool value);
    TZemDisplayAxisTicksMode GetTicksMode() const { return m_ticksMode; }
    /// Throws std::invalid_argument for a value outside the enumeration.
    void SetTicksMode(TZemDisplayAxisTicksMode value);
    TZemDisplayAxisCursorSettings* GetCursorSettings() const { return m_cursorSettings.get(); }
    TZemScopeAxisValue* GetMin() const { return m_minValue.get(); }
    TZemMaxScopeAxisValue* GetMax() const { return m_maxValue.get(); }
    TZemScopeMaxSample* GetMaxSample() const { return m_maxSample.get(); }
    TZemScopeXAxisUnitScale* GetUnitScale() const { return m_unitScale.get(); }

    /// What the axis shows, from the ticks mode and the chart's channels.
    detail::TZemXAxisDataKind GetDataKind();
    /// The unit exponent E: automatic (from the chart's sample rate and the sample count only,
    /// never from the chart's time or frequency end, which use E) or `UnitScale.Exponent`.
    int GetUnitExponent();
    std::string GetCaption() override;

    /// The scope reports the largest display length among its visible channels; 0 counts as
    /// 1024. A change of the effective count drops the caches and the chart's time cache.
    void SetSampleCount(int count) override;
    /// The reported count with `MaxSample.Autosize`, else `MaxSample.Value`.
    int GetSampleCount() const override;
    int GetFirstVisibleSample() override;
    int GetLastVisibleSample() override;

    // --- Zoom (called by the chart) ----------------------------------------------------------
    /// As `TZemScopeYAxis::SetZoomRange`.
    void SetZoomRange(double a, double b);
    void ZoomByFactor(double factor);
    void GetZoomRange(double& minimum, double& maximum) override;
    void ZoomAxisTo(bool saveHistory, double first, double second) override;

    void DefineProperties(TVokFiler& filer) override;

    void MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                   int y) override;
    void MouseMove(TZemShiftState shift, int x, int y) override;
    void MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y) override;

  protected:
    double ComputeDataMin() override;
    double ComputeDataMax() override;
    double ComputeVisibleMin() override;
    double ComputeVisibleMax() override;
    double ComputeTickMin() override;
    double ComputeTickMax() override;
    double ComputeUnitMin() override;
    double ComputeUnitMax() override;
    double ComputeTickVisibleMin() override;
    double ComputeTickVisibleMax() override;
    /// While zoomed, the zoom range follows the tick minimum.
    void TickMinMoved(double delta) override;
    std::string FormatValue(double value) override;

  private:
    TZemDataChart* Chart() const;
    bool IsZoomed() const;
    /// The data ends as `Min.AutoScale` / `Max.AutoScale` would have them.
    double AutoDataMin();
    double AutoDataMax();
    /// The tick-visible minimum or maximum.
    double TickVisible(bool maximum);
    int VisibleSample(double zoomValue, bool autoScale, double value, int autoResult);
    /// Cache, time cache and layout after a change of a value setting.
    void ValuesChanged();

    int32_t m_precision = 3;
    bool m_fixedPrecision = false;
    TZemDisplayAxisTicksMode m_ticksMode = atmAuto;
    std::unique_ptr<TZemDisplayAxisCursorSettings> m_cursorSettings;
    std::unique_ptr<TZemScopeAxisValue> m_minValue;
    std::unique_ptr<TZemMaxScopeAxisValue> m_maxValue;
    std::unique_ptr<TZemScopeMaxSample> m_maxSample;
    std::unique_ptr<TZemScopeXAxisUnitScale> m_unitScale;
    double m_zoomMin = -1.0;
    double m_zoomMax = 1.0;
    detail::TZemAxisDrag m_drag;
};
