#pragma once

// The axes of the displays: the mapping between data values and pixels along one direction of
// the data view, the choice of the major tick step so that labels never crowd, the tick walk
// that places tick marks and grid lines, tick labels, and the drawing of line, ticks, labels,
// caption and track mark. The scope's axes (ZemScopeAxes.h) and the waterfall's build on these.
//
// Threads: axes are views and live on the GUI thread; nothing here locks.

#include "display/ZemDisplayCollection.h"
#include "display/ZemDisplayTypes.h"
#include "display/ZemDisplayView.h"
#include "pins/VokGraphicsObjects.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TZemAxisToolBar;
class TZemCanvas;
class TZemDataDisplay;
class TZemOptionalAxis;
class TZemDisplayAxis;

/// How the major step is chosen: automatically from the range and the label size (mtmAuto),
/// from `MajorTicks.Step` doubled until the labels have room (mtmCustom), or from `Step`
/// doubled only until ticks are more than one pixel apart, with ticks allowed 1 pixel apart
/// (mtmOverride).
enum TZemMajorTicksMode : uint8_t { mtmAuto, mtmCustom, mtmOverride };

/// Per-tick step hook: called for each tick value of the walk with the major step in `step`
/// and true in `draw`; may change the step (it is then doubled until the ticks have room) and
/// clear `draw` to leave that tick out.
using TZemCustomStepEvent =
    std::function<void(TZemOptionalAxis* sender, double sampleValue, double& step, bool& draw)>;
/// Label hook: called with the tick value and the formatted text in `axisLabel`; the label is
/// whatever the handler leaves there.
using TZemCustomAxisLabelEvent =
    std::function<void(TZemDisplayAxis* sender, double sampleValue, std::string& axisLabel)>;

namespace detail {

/// Pixel offset and scale of an axis mapping: value v lies at pixel
/// p = (far edge) − offset − 1 − rnd(v × scale), v through slog on a logarithmic axis.
struct TZemAxisMapping {
    int m_offset = 0;
    double m_scale = 1.0;
};

/// The mapping of an axis of extent `length` pixels (Y axes pass the data view's extent − 1,
/// X axes the extent itself) for the values (`first`, `second`): a Y axis passes (visible
/// maximum, visible minimum), an X axis (tick-visible maximum, tick-visible minimum).
/// `yRule` selects the Y sign conventions (not reversed: first at the near edge + 1), otherwise
/// the X ones (not reversed: second at the near edge). When the two values coincide (or their
/// difference is not finite) the values land on the middle pixel.
TZemAxisMapping ZemAxisMapping(double first, double second, int length, bool yRule, bool reversed,
                               bool logarithmic);

/// The pixel of `value` under `mapping`, measured from `farEdge` (the data view's bottom for an
/// axis running vertically, its right edge otherwise), clamped to ±`kZemPixelLimit`.
int ZemMapValue(const TZemAxisMapping& mapping, int farEdge, double value, bool logarithmic);

/// The automatic major step: the smallest of 1, 2, 2.5, 5 × 10^k not below
/// `spacing` × `range` ÷ `length` (so labels `spacing` pixels apart fit) that also keeps ticks
/// at least `labelHeight` + 2 pixels apart. On a logarithmic axis `range` is the linear range
/// and `logRange` the range in slog units, and the step counts in slog units.
/// A zero or non-finite range, a length of 0 or a degenerate estimate give 1. Always finite.
double ZemAutoStep(double range, double logRange, int length, int spacing, int labelHeight,
                   bool logarithmic);
/// The linear case of the above.
inline double ZemAutoStep(double range, int length, int spacing, int labelHeight) {
    return ZemAutoStep(range, range, length, spacing, labelHeight, false);
}

/// A custom step made usable: `step` (1 when not above 0 or not finite) doubled until
/// |trunc(length × step ÷ range)| exceeds `minSpacing` pixels. Bounded: a range for which no
/// doubling helps (0, NaN) leaves the step as it is.
double ZemCustomStep(double step, double range, int length, int minSpacing);

/// One mark the tick walk places.
struct TZemTickMark {
    int m_pixel = 0;
    double m_value = 0.0;
    bool m_major = true;
    /// Major ticks only: |value| < step ÷ 2 (the zero line of the grid).
    bool m_isZero = false;
};

/// The input of the tick walk.
struct TZemTickWalk {
    double m_low = 0.0;  ///< tick-visible minimum (d)
    double m_high = 0.0; ///< tick-visible maximum (c)
    double m_step = 1.0; ///< the major step; its magnitude is used, 1 when 0 or not finite
    /// A major tick is placed only when more than this many pixels from the last one placed.
    int m_minDistance = 1;
    uint32_t m_minorCount = 0;
    bool m_logarithmic = false;
    /// Allowed pixels: [m_spanBegin, m_spanEnd).
    int m_spanBegin = 0;
    int m_spanEnd = 0;
    /// Pixel of a value (required).
    std::function<int(double value)> m_pixelOf;
    /// Optional per-tick hook (the axis's `OnCustomStep` plus the custom-step adjustment).
    std::function<void(double value, double& step, bool& draw)> m_customStep;
};

/// Upper bound of ticks visited per direction of the walk.
inline constexpr int kZemMaxTicksPerDirection = 100000;

/// Places ticks from the start value (0 inside the range, else the end nearer to 0, snapped to
/// a multiple of the step) downwards to d − step and upwards to c + step, calling `mark` for
/// every drawn major tick and for the minor ticks between two placed majors, inside the span.
/// Each direction stops when the value stops changing or after `kZemMaxTicksPerDirection`
/// ticks, so it ends for any input. The start tick is reported once even when both
/// directions pass it.
void ZemWalkTicks(const TZemTickWalk& walk, const std::function<void(const TZemTickMark&)>& mark);

/// `value` formatted as fixed-point with `digits` decimals ("%.<digits>f", always with '.'
/// whatever the process locale); a negative zero loses its sign ("-0.00" → "0.00").
std::string ZemFormatFixed(double value, int digits);

} // namespace detail

/// `MinorTicks`: `Count` (0) minor ticks between two major ticks. A change calls the owner back.
class TZemMinorTicks : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemMinorTicks(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    uint32_t GetCount() const { return m_count; }
    void SetCount(uint32_t value);

  private:
    std::function<void()> m_onChange;
    uint32_t m_count = 0;
};

/// `Mode` of a tick setting (mtmAuto). A change calls the owner back.
class TZemMajorTicksParam : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemMajorTicksParam(std::function<void()> onChange)
        : m_onChange(std::move(onChange)) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemMajorTicksMode GetMode() const { return m_mode; }
    /// Throws std::invalid_argument for a value outside the enumeration.
    void SetMode(TZemMajorTicksMode value);

  protected:
    void Changed() {
        if (m_onChange) {
            m_onChange();
        }
    }

  private:
    std::function<void()> m_onChange;
    TZemMajorTicksMode m_mode = mtmAuto;
};

/// `MajorTicks.StartFrom`: `Mode` and `StartFrom` (0.0). Tick placement does not read it; a
/// change only re-lays out the axis.
class TZemTicksStart : public TZemMajorTicksParam {
  public:
    using TZemMajorTicksParam::TZemMajorTicksParam;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    double GetStartFrom() const { return m_startFrom; }
    void SetStartFrom(double value);

  private:
    double m_startFrom = 0.0;
};

/// `MajorTicks`: `Mode`, `Step` (10.0; a value not above 0, or not finite, is stored as 1) and
/// `StartFrom`.
class TZemMajorTicks : public TZemMajorTicksParam {
  public:
    explicit TZemMajorTicks(std::function<void()> onChange);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    double GetStep() const { return m_step; }
    void SetStep(double value);
    TZemTicksStart* GetStartFrom() const { return m_startFrom.get(); }

  private:
    double m_step = 10.0;
    std::unique_ptr<TZemTicksStart> m_startFrom;
};

/// An axis view: keeps the automatic major step with the (range, length, logarithmic) it was
/// computed for, and declares what the step and the tick walk ask of every axis.
class TZemOptionalAxis : public TZemOptionalView {
  public:
    explicit TZemOptionalAxis(TZemDataDisplay* display) : TZemOptionalView(display) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// False in the base (the scope Y axis answers `Logarithmic`).
    virtual bool IsLogarithmic() const { return false; }
    /// The data view's extent along the axis in pixels (its `Width()` or `Height()`); 0 without
    /// a data view.
    virtual int GetAxisLength() = 0;
    /// The tick-visible maximum − minimum, or the difference of their signed logarithms.
    virtual double GetRange(bool logUnits) = 0;
    /// The room one label takes along the axis: the text height of "Xg", or, for an axis
    /// running horizontally, the wider of the labels of the tick-visible minimum and maximum.
    virtual int GetLabelExtent() = 0;
    /// The least distance between labels: text height of "Xg" + 4 (running vertically) or the
    /// width of the label of the tick-visible maximum + 8 (horizontally); never below 20.
    virtual int GetMinLabelSpacing() = 0;
    /// Zooms the axis alone to (`first`, `second`); no effect in the base.
    virtual void ZoomAxisTo(bool saveHistory, double first, double second) {
        (void)saveHistory, (void)first, (void)second;
    }
    /// The zoom range; leaves the arguments alone in the base.
    virtual void GetZoomRange(double& minimum, double& maximum) { (void)minimum, (void)maximum; }
    /// The font of the tick labels.
    virtual TVokFont* GetFont() const = 0;

    /// Drops the automatic step so the next `GetMajorStep` computes it again.
    void InvalidateStep() { m_stepValid = false; }

  protected:
    /// Cache of the automatic step and the inputs it was computed for.
    bool m_stepValid = false;
    double m_stepRange = 0.0;
    double m_stepLogRange = 0.0;
    int m_stepLength = 0;
    bool m_stepLogarithmic = false;
    double m_step = 1.0;
};

/// An axis with a track mark at the pointer, major and minor tick settings and the tick walk.
///
/// Published: `TrackCursor` (true), `TrackColor` (255), `MajorTicks`, `MinorTicks`,
/// `OnCustomStep`.
class TZemTrackingOptionalAxis : public TZemOptionalAxis {
  public:
    explicit TZemTrackingOptionalAxis(TZemDataDisplay* display);
    ~TZemTrackingOptionalAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetTrackCursor() const { return m_trackCursor; }
    void SetTrackCursor(bool value);
    TVokColor GetTrackColor() const { return m_trackColor; }
    void SetTrackColor(TVokColor value);
    TZemMajorTicks* GetMajorTicks() const { return m_majorTicks.get(); }
    TZemMinorTicks* GetMinorTicks() const { return m_minorTicks.get(); }
    const TZemCustomStepEvent& GetOnCustomStep() const { return m_onCustomStep; }
    void SetOnCustomStep(TZemCustomStepEvent handler);

    /// True while the pointer is inside the display (outside design time).
    bool IsTrackActive() const { return m_trackActive; }

    /// The major step: automatic (cached per range, length and logarithmic flag; a newly
    /// computed step re-lays out the display) or the custom `MajorTicks.Step` adjusted to the
    /// axis. Always finite and not 0.
    virtual double GetMajorStep();
    /// A tick setting changed: drops the step cache and re-lays out the display.
    virtual void TicksChanged();
    /// Whether the axis runs from top to bottom (Y: unless the display is vertical).
    virtual bool RunsVertically() const = 0;
    /// False in the base; display axes answer `Reversed`.
    virtual bool IsReversed() const { return false; }

    void DisplayMouseEntered() override;
    void DisplayMouseLeft() override;

  protected:
    /// `step` adjusted as a custom step of the current tick mode (spacing "Xg" height + 2, or 1
    /// pixel for mtmOverride).
    double AdjustCustomStep(double step);
    /// Text height of "Xg" in the axis font (0 without a font).
    int LabelHeight() const;
    void SetTrackActive(bool value);

  private:
    bool m_trackActive = false;
    bool m_trackCursor = true;
    TVokColor m_trackColor = 0x0000FF;
    std::unique_ptr<TZemMajorTicks> m_majorTicks;
    std::unique_ptr<TZemMinorTicks> m_minorTicks;
    TZemCustomStepEvent m_onCustomStep;
};

/// The generic display axis: value caches, mapping, labels, drawing, preferred size and
/// margins, the axis toolbar, zoom buttons and wheel.
///
/// Values: ten values (data, visible, tick, unit and tick-visible minima and maxima) are each
/// computed once by the matching protected `Compute…` hook and reused until `InvalidateValues`.
/// When the tick minimum or maximum is computed again, `TickMinMoved` / `TickMaxMoved` receive
/// new − old.
///
/// Drawing, for an axis running horizontally (its top T) or vertically (its right edge R):
/// axis line at T + 5 or R − 5 along the data view; major ticks T + 5 … T + 12 with the label
/// centred at T + 14, or R − 11 … R − 5 with the label ending 14 pixels left of R; minor ticks
/// T + 5 … T + 10 or R − 9 … R − 5; the caption; the track mark at the pointer; the toolbar.
///
/// Published: `Reversed` (false), `Color` (white), `Font` (white Arial −11), `OnCustomLabel`,
/// `ToolBar`.
class TZemDisplayAxis : public TZemTrackingOptionalAxis {
  public:
    explicit TZemDisplayAxis(TZemDataDisplay* display);
    ~TZemDisplayAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetReversed() const { return m_reversed; }
    /// A change drops the cached values and re-lays out the display.
    virtual void SetReversed(bool value);
    bool IsReversed() const override { return m_reversed; }
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TVokFont* GetFont() const override { return m_font.get(); }
    const TZemCustomAxisLabelEvent& GetOnCustomLabel() const { return m_onCustomLabel; }
    void SetOnCustomLabel(TZemCustomAxisLabelEvent handler);
    TZemAxisToolBar* GetToolBar() const { return m_toolBar.get(); }

    // --- Mapping ------------------------------------------------------------------------------
    /// Offset and scale for the values (`first`, `second`): value v lies at pixel
    /// p = (far edge of the data view) − offset − 1 − ZemRound(v × scale) (v through slog when
    /// logarithmic), the far edge being the data view's bottom for an axis running vertically
    /// and its right edge otherwise. Pass (visible maximum, visible minimum) of the Y axis for
    /// channels and grid, (tick-visible maximum, tick-visible minimum) for ticks.
    virtual void GetMapping(double first, double second, int& offset, double& scale) = 0;
    /// The pixel of `value` under the tick mapping (tick-visible maximum, minimum).
    int TickValueToPixel(double value);

    // --- Cached values ------------------------------------------------------------------------
    double GetDataMin() { return CachedValue(kDataMin); }
    double GetDataMax() { return CachedValue(kDataMax); }
    double GetVisibleMin() { return CachedValue(kVisibleMin); }
    double GetVisibleMax() { return CachedValue(kVisibleMax); }
    double GetTickMin() { return CachedValue(kTickMin); }
    double GetTickMax() { return CachedValue(kTickMax); }
    double GetUnitMin() { return CachedValue(kUnitMin); }
    double GetUnitMax() { return CachedValue(kUnitMax); }
    double GetTickVisibleMin() { return CachedValue(kTickVisibleMin); }
    double GetTickVisibleMax() { return CachedValue(kTickVisibleMax); }
    /// Drops all ten cached values (new data, a zoom, a setting change).
    virtual void InvalidateValues();

    // --- Labels and caption -------------------------------------------------------------------
    /// The label text of a tick or cursor value, after `OnCustomLabel`.
    std::string FormatLabel(double value);
    /// The caption drawn when `AxisLabel.Visible`.
    virtual std::string GetCaption() = 0;
    /// The caption label (`AxisLabel`).
    virtual TZemDisplayLabel* GetAxisLabel() const = 0;

    // --- Zoom ---------------------------------------------------------------------------------
    /// Toolbar buttons: zoom this axis alone by 0.5 (in) or 2.0 (out), saving zoom history.
    virtual void ZoomAxisIn() = 0;
    virtual void ZoomAxisOut() = 0;

    // --- Ticks --------------------------------------------------------------------------------
    /// Calls `callback` with the pixel of every major tick the axis draws (inside the data
    /// view's span), and whether it is the zero tick: the grid of the data view.
    void ForEachMajorTick(const std::function<void(int pixel, bool isZero)>& callback);
    /// The tick walk over the tick-visible range with this axis's mapping, step, label spacing,
    /// minor ticks and `OnCustomStep`.
    void WalkTicks(const std::function<void(const detail::TZemTickMark&)>& mark);

    // --- View ---------------------------------------------------------------------------------
    int GetAxisLength() override;
    double GetRange(bool logUnits) override;
    int GetLabelExtent() override;
    int GetMinLabelSpacing() override;
    int GetLeadingMargin() const override;
    int GetTrailingMargin() const override;
    void DrawView(const TZemDrawArgs& args) override;
    void SkipView(const TZemDrawArgs& args) override { (void)args; }
    void MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                   int y) override;
    void MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y) override;
    /// The wheel over the axis zooms this axis alone about the pointer (1.1 down, 0.9 up).
    void WheelDown(TZemShiftState shift, int x, int y) override;
    void WheelUp(TZemShiftState shift, int x, int y) override;
    /// The data view reports the pointer: repaints the axis when the coordinate along it
    /// changed (the track mark follows).
    void PointerMoved(int x, int y);

  protected:
    enum TValueSlot : uint8_t {
        kDataMin,
        kDataMax,
        kVisibleMin,
        kVisibleMax,
        kTickMin,
        kTickMax,
        kUnitMin,
        kUnitMax,
        kTickVisibleMin,
        kTickVisibleMax,
        kValueSlotCount
    };

    // The hooks behind the cached getters. Defaults: data 0 … 0, visible = data, tick = data,
    // unit = tick, tick-visible = visible.
    virtual double ComputeDataMin() { return 0.0; }
    virtual double ComputeDataMax() { return 0.0; }
    virtual double ComputeVisibleMin() { return GetDataMin(); }
    virtual double ComputeVisibleMax() { return GetDataMax(); }
    virtual double ComputeTickMin() { return GetDataMin(); }
    virtual double ComputeTickMax() { return GetDataMax(); }
    virtual double ComputeUnitMin() { return GetTickMin(); }
    virtual double ComputeUnitMax() { return GetTickMax(); }
    virtual double ComputeTickVisibleMin() { return GetVisibleMin(); }
    virtual double ComputeTickVisibleMax() { return GetVisibleMax(); }
    /// Drops one cached value.
    void InvalidateValue(TValueSlot slot) { m_values[slot].m_valid = false; }
    /// The tick minimum (maximum) was computed again and moved by `delta`; nothing in the base.
    virtual void TickMinMoved(double delta) { (void)delta; }
    virtual void TickMaxMoved(double delta) { (void)delta; }
    /// The label text before `OnCustomLabel`: the rounded value as an integer.
    virtual std::string FormatValue(double value);
    /// A published setting changed: re-lays out the display.
    virtual void SettingsChanged();
    /// Whether the tick-visible minimum sits at the leading (left or top) end of the axis.
    virtual bool MinAtLeadingEnd() const = 0;
    /// The zoom factors of a wheel step or a toolbar button for this axis: (factorY, factorX).
    virtual void AxisZoomFactors(double factor, double& factorY, double& factorX) const = 0;

    /// The data view's rectangle (empty without display or data view).
    TZemRect DataViewRect() const;
    /// The label width of `value` in the axis font.
    int LabelWidth(double value);
    /// Const layout queries (preferred size, margins) fill the value caches too.
    TZemDisplayAxis& Self() const { return const_cast<TZemDisplayAxis&>(*this); }
    /// Computes width and height with `ViewSize.AutoSize`: end labels + 16 wide, "Xg" + 16
    /// high, both + caption height + 4 with a visible caption.
    void ComputePreferredSize(int& width, int& height) const override;
    /// True when the toolbar shows: visible and (not auto-hidden, pointer inside, design time).
    bool ToolBarShows() const;
    /// Offers a press inside the axis to its toolbar; true when a button took it.
    bool PressToolBar(TZemMouseButton button, bool inside, int x, int y);
    /// True when the toolbar took the last press `MouseDown` saw (no drag starts then).
    bool ToolBarTookPress() const { return m_toolBarTookPress; }
    bool IsDesigning() const;

  private:
    struct TCachedValue {
        double m_value = 0.0;
        bool m_valid = false;
        /// Set once a value was computed: `TickMinMoved` needs the old value.
        bool m_known = false;
        /// Breaks accidental cycles between the hooks.
        bool m_computing = false;
    };
    double CachedValue(TValueSlot slot);
    double ComputeSlot(TValueSlot slot);
    void DrawTrackMark(TZemCanvas& canvas);
    void DrawCaption(TZemCanvas& canvas);

    bool m_reversed = false;
    TVokColor m_color = 0xFFFFFF;
    std::unique_ptr<TVokFont> m_font;
    TZemCustomAxisLabelEvent m_onCustomLabel;
    std::unique_ptr<TZemAxisToolBar> m_toolBar;
    std::array<TCachedValue, kValueSlotCount> m_values;
    bool m_toolBarTookPress = false;
    int m_lastPointerX = -1000;
    int m_lastPointerY = -1000;
};

/// The Y axis: on the left (at the bottom when the display is vertical), caption text from
/// `AxisLabel`. Mapping length = data view extent − 1. Published: `AxisLabel` (label font:
/// white Arial −13 bold).
class TZemDisplayYAxis : public TZemDisplayAxis {
  public:
    explicit TZemDisplayYAxis(TZemDataDisplay* display);
    ~TZemDisplayYAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayLabel* GetAxisLabel() const override { return m_axisLabel.get(); }
    TZemViewAlignment GetAlignment() const override;
    bool RunsVertically() const override;
    void GetMapping(double first, double second, int& offset, double& scale) override;
    std::string GetCaption() override;
    void ZoomAxisIn() override;
    void ZoomAxisOut() override;

  protected:
    bool MinAtLeadingEnd() const override;
    void AxisZoomFactors(double factor, double& factorY, double& factorX) const override;

  private:
    std::unique_ptr<TZemDisplayLabel> m_axisLabel;
};

/// The X axis: at the bottom (on the left when the display is vertical), with the sample count
/// (initially 1024) and the first and last visible sample. Mapping length = the data view
/// extent. Caption: `AxisLabel.Text`, or "X Axis" when empty. Published: `AxisLabel`.
class TZemDisplayXAxis : public TZemDisplayAxis {
  public:
    explicit TZemDisplayXAxis(TZemDataDisplay* display);
    ~TZemDisplayXAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayLabel* GetAxisLabel() const override { return m_axisLabel.get(); }
    TZemViewAlignment GetAlignment() const override;
    bool RunsVertically() const override;
    void GetMapping(double first, double second, int& offset, double& scale) override;
    std::string GetCaption() override;
    void ZoomAxisIn() override;
    void ZoomAxisOut() override;

    /// The number of samples the axis spans (negative values count as 0). A change drops the
    /// cached values and re-lays out the display.
    virtual void SetSampleCount(int count);
    virtual int GetSampleCount() const { return m_sampleCount; }
    /// The first visible sample (0 in the base) and the end of the visible samples (the sample
    /// count in the base).
    virtual int GetFirstVisibleSample() { return 0; }
    virtual int GetLastVisibleSample() { return GetSampleCount(); }

  protected:
    bool MinAtLeadingEnd() const override;
    void AxisZoomFactors(double factor, double& factorY, double& factorX) const override;
    int m_sampleCount = 1024;

  private:
    std::unique_ptr<TZemDisplayLabel> m_axisLabel;
};
