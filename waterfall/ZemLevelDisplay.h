#pragma once

// The level view of the waterfall: a vertical view on the right of the data view showing the
// colour bar over the level range, a value scale with ticks and labels, an optional rotated
// caption and a track line at the value under the pointer. The same object is the waterfall's
// colour function: every image pixel and the mouse hit point take their colour from it.
//
// Threads: GUI thread only. The host answers the level range and the value under the pointer
// through the callbacks of `TZemLevelHost` and takes its own data lock there.

#include "display/ZemDisplayAxis.h"
#include "display/ZemDisplayCollection.h"
#include "pins/VokExtCollection.h"
#include "pins/VokGraphicsObjects.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TZemBasicLevelDisplayLevelView;
class TZemDataDisplay;

/// What the level view asks of the display it colours (the waterfall).
struct TZemLevelHost {
    std::function<double()> m_getMin;              ///< the level minimum (untransformed)
    std::function<double()> m_getMax;              ///< the level maximum (untransformed)
    std::function<double(int x, int y)> m_valueAt; ///< the value under a display pixel
    std::function<void()> m_colorsChanged; ///< colours or GrayScale changed: re-colour the image
};

/// Label hook of the level scale: called with the level view, the level value and the formatted
/// text in `axisLabel`; the label is whatever the handler leaves there.
using TZemCustomLevelLabelEvent = std::function<void(TZemBasicLevelDisplayLevelView* sender,
                                                     double sampleValue, std::string& axisLabel)>;
/// Design-time expansion hook (`_Axis`): accepted and ignored.
using TZemLevelExpandEvent = std::function<void()>;

/// A pointer position in display pixels.
struct TZemLevelPointer {
    int m_x = 0;
    int m_y = 0;
};

/// One colour stop of the level scale. Published: `Color` (black for a bare item; a stop added
/// to a level view's list gets the least-used default colour). `Color` is always stored.
class TZemLevelDisplayColor : public TVokExtCollectionItem {
  public:
    explicit TZemLevelDisplayColor(TVokExtCollection* collection);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    /// A change re-colours the level view and its host.
    void SetColor(TVokColor value);

  private:
    friend class TZemLevelDisplayColors;
    TVokColor m_color = kVokClBlack;
};

/// The ordered colour stops (`Colors`) of a level view; the stops are spread evenly over the
/// level range, the first at the minimum and the last at the maximum. Any change (add, delete,
/// move, a stop's colour) makes the view resolve its stops again, re-colour and re-lay out.
class TZemLevelDisplayColors : public TVokExtCollection {
  public:
    /// The default colours of new stops, in order of preference (TColor values).
    static constexpr TVokColor kDefaultColors[15] = {
        0x000000, 0xFF0000, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFF00, 0xF0FBFF, 0x008080,
        0xFFFFFF, 0xC0C0C0, 0x800080, 0xFF00FF, 0xFFFF00, 0x808000, 0x800000};

    /// `view` may be null (a free-standing list).
    explicit TZemLevelDisplayColors(TZemBasicLevelDisplayLevelView* view);
    ~TZemLevelDisplayColors() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemBasicLevelDisplayLevelView* GetLevelView() const { return m_view; }
    /// The stop at `index` (range-checked like `GetItem`).
    TZemLevelDisplayColor* GetColorItem(int index) const;
    /// The default colour for a new stop: the first of `kDefaultColors` used by the fewest items
    /// other than `except` (ties keep the earlier colour).
    TVokColor DefaultColorFor(const TVokExtCollectionItem* except) const;

  protected:
    /// A new stop takes `DefaultColorFor` itself.
    void ItemAdded(TVokExtCollectionItem* item) override;
    void Update(TVokExtCollectionItem* item) override;

  private:
    TZemBasicLevelDisplayLevelView* m_view;
};

/// Scale appearance and precision of a level view. Published: `Color` (white), `Font` (white
/// Arial −11), `Precision` (3; writes are clamped to 0..18), `FixedPrecision` (false), `Visible`
/// (true), `Logarithmic` (false). Every change (the font's too) calls the owner back.
class TZemBasicLevelAxis : public TVokPersistent, public IVokPublished {
  public:
    static constexpr int32_t kMaxPrecision = 18;

    /// `onChange` runs after every change; it may be empty.
    explicit TZemBasicLevelAxis(std::function<void()> onChange);
    ~TZemBasicLevelAxis() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TVokFont* GetFont() const { return m_font.get(); }
    int32_t GetPrecision() const { return m_precision; }
    /// Values outside 0..18 are clamped.
    void SetPrecision(int32_t value);
    bool GetFixedPrecision() const { return m_fixedPrecision; }
    void SetFixedPrecision(bool value);
    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    bool GetLogarithmic() const { return m_logarithmic; }
    void SetLogarithmic(bool value);

  protected:
    void Changed() {
        if (m_onChange) {
            m_onChange();
        }
    }

  private:
    std::function<void()> m_onChange;
    TVokColor m_color = kVokClWhite;
    std::unique_ptr<TVokFont> m_font;
    int32_t m_precision = 3;
    bool m_fixedPrecision = false;
    bool m_visible = true;
    bool m_logarithmic = false;
};

/// The level view's `Axis`: adds the range settings the host reads to work out the level range
/// (`Autoscale` true, `Min` 0, `Max` 1000) and the label hook `OnCustomLabel`.
class TZemLevelAxis : public TZemBasicLevelAxis {
  public:
    using TZemBasicLevelAxis::TZemBasicLevelAxis;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetAutoscale() const { return m_autoscale; }
    void SetAutoscale(bool value);
    int32_t GetMin() const { return m_min; }
    void SetMin(int32_t value);
    int32_t GetMax() const { return m_max; }
    void SetMax(int32_t value);
    const TZemCustomLevelLabelEvent& GetOnCustomLabel() const { return m_onCustomLabel; }
    /// Re-lays out the display (label widths may change).
    void SetOnCustomLabel(TZemCustomLevelLabelEvent handler);

  private:
    bool m_autoscale = true;
    int32_t m_min = 0;
    int32_t m_max = 1000;
    TZemCustomLevelLabelEvent m_onCustomLabel;
};

/// The caption of the level view (`LevelLabel`): `Text` "Levels", bold white Arial −13,
/// visible.
class TZemLevelDisplayLabel : public TZemDisplayLabel {
  public:
    /// `onChange` runs after every later change of text, font or visibility.
    explicit TZemLevelDisplayLabel(std::function<void()> onChange);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

  private:
    void Notify();
    std::function<void()> m_onChange;
};

/// The level bar, its colour functions, cursor tracking and scale drawing.
///
/// Colour of a level v measured from the level minimum, for a level span `range` (both already
/// through the logarithmic transform when `Axis.Logarithmic`; callers never pass 0): with
/// t = v ÷ range and rounding to nearest, halves to even,
/// - `GrayScale`: g = round(t × 255), low 8 bits, as (g, g, g);
/// - two or more `Colors` (n intervals): t is clamped to [0, 1]; k = n − 1 when t = 1, else
///   trunc(t × n); f = (v − k × range ÷ n) ÷ (range ÷ n); each component c0 + round((c1 − c0) × f)
///   of the stops k and k + 1 (system colours resolved when the stops change), low 8 bits. A
///   level beyond the range therefore shows the colour of the nearer end;
/// - otherwise the rainbow `RainbowColor`.
///
/// Published: `BarWidth` (14; writes clamped to 0..10000), `GrayScale` (false), `Colors`, and
/// the inherited `TrackCursor`, `TrackColor`, `MajorTicks`, `MinorTicks`, `OnCustomStep`,
/// `Visible`, `ViewSize`.
class TZemBasicLevelDisplayLevelView : public TZemTrackingOptionalAxis {
  public:
    static constexpr int32_t kMaxBarWidth = 10000;
    /// `display` may be null (colour functions only). Any callback of `host` may be empty: the
    /// minimum and maximum then count as 0, the value under the pointer as the minimum.
    TZemBasicLevelDisplayLevelView(TZemDataDisplay* display, TZemLevelHost host);
    ~TZemBasicLevelDisplayLevelView() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int32_t GetBarWidth() const { return m_barWidth; }
    void SetBarWidth(int32_t value);
    bool GetGrayScale() const { return m_grayScale; }
    /// A change also asks the host to re-colour its image.
    void SetGrayScale(bool value);
    TZemLevelDisplayColors* GetColors() const { return m_colors.get(); }

    /// The scale settings object.
    virtual TZemBasicLevelAxis* GetAxis() const = 0;
    /// The caption text.
    virtual std::string GetLabelText() const = 0;
    /// The caption label, or null when the view has none (its visibility and font decide the
    /// caption's room and drawing).
    virtual TZemDisplayLabel* GetCaptionLabel() const { return nullptr; }

    // --- Colours ------------------------------------------------------------------------------
    /// The colour of level `v` in the span `range`, TColor order (0x00BBGGRR); see the class
    /// comment. Used for the bar and the mouse hit point.
    TVokColor ColorOf(double range, double v) const;
    /// The built-in scale in TColor order: c = round(t × 1408), capped at 1408 (not below), with
    /// m = c's low 8 bits: below 256 (0, 0, m), then (0, m, 255), (0, 255, 255 − m),
    /// (m, 255, 0), (255, 255 − m, 0), and from 1280 (255, 0, m), as (red, green, blue).
    virtual TVokColor RainbowColor(double range, double v) const;
    /// `ColorOf` with red and blue exchanged (0x00RRGGBB), for image pixels.
    virtual uint32_t PixelColor(double range, double v) const;
    /// Colours `count` image pixels at once: for each i, with
    /// v = `logarithmic` ? slog(values[i]) − slog(`minimum`) : values[i] − `minimum`,
    /// out[i × `outStride`] = `PixelColor`(`range`, v). `range` is already transformed and not
    /// 0. Allocates nothing; when neither `PixelColor` nor `RainbowColor` is overridden no
    /// virtual call is made per pixel. `values` and `out` must not overlap; nothing is written
    /// for a null pointer or a count below 1.
    void PixelColors(const double* values, int count, double minimum, double range,
                     bool logarithmic, uint32_t* out, ptrdiff_t outStride) const;
    /// The resolved stops (0x00BBGGRR each), as the colour functions read them.
    const std::vector<uint32_t>& GetResolvedStops() const { return m_stops; }

    // --- Levels -------------------------------------------------------------------------------
    /// The level minimum and maximum the host answers (0 without a callback).
    double GetLevelMin() const;
    double GetLevelMax() const;
    /// slog(`value`) when `Axis.Logarithmic`, else `value`.
    double TransformLevel(double value) const;
    /// The label text of a level value: fixed-point with the scale's precision rule applied to
    /// `Axis.Precision`, `Axis.FixedPrecision` and maximum − minimum, then the label hook.
    virtual std::string FormatLevel(double value);

    // --- Tracking -----------------------------------------------------------------------------
    /// Called by the host when its range or data changed: repaints the view when `invalidate`;
    /// then, when a pointer was seen, the view is visible, `TrackCursor` is set and the last
    /// pointer lies in the data view, takes the value there as the tracked value (no repaint).
    void RefreshLevelTracking(bool invalidate);
    double GetTrackedValue() const { return m_trackedValue; }
    TZemLevelPointer GetLastPointer() const { return m_lastPointer; }
    bool GetPointerSeen() const { return m_pointerSeen; }

    // --- View ---------------------------------------------------------------------------------
    TZemViewAlignment GetAlignment() const override { return zvaRight; }
    /// Follows the pointer over the display: repaints when the pointer leaves the data view and
    /// when the tracked value changes (only with `TrackCursor`).
    void MouseMove(TZemShiftState shift, int x, int y) override;
    /// Track line, bar, scale and caption, beside the data view's rectangle R.
    void DrawView(const TZemDrawArgs& args) override;
    void SkipView(const TZemDrawArgs& args) override { (void)args; }
    /// Where the track line ends, measured from the view's left edge.
    int GetTrackLineEnd() const;

    // --- Axis operations ----------------------------------------------------------------------
    bool IsLogarithmic() const override;
    /// The view's own height.
    int GetAxisLength() override { return Height(); }
    double GetRange(bool logUnits) override;
    int GetLabelExtent() override { return LabelHeight(); }
    int GetMinLabelSpacing() override;
    TVokFont* GetFont() const override;
    bool RunsVertically() const override { return true; }

  protected:
    /// Width: `BarWidth` + 4, + the wider end label + 9 with a visible scale, + the caption's
    /// "Xg" height + 2 with a visible caption, + 2 when neither shows. Height: −1.
    void ComputePreferredSize(int& width, int& height) const override;
    /// Colours or grey scale changed: re-resolves the stops, asks the host to re-colour and
    /// re-lays out.
    void ColorsChanged();
    /// A setting changed: re-lays out and repaints the display.
    void SettingsChanged();
    /// The data view's rectangle (empty without display or data view).
    TZemRect DataRect() const;

  private:
    friend class TZemLevelDisplayColors;
    /// The (transformed) span of the level range, 0 replaced by 1.
    double TrackRange() const;
    void ResolveStops();
    void DrawTrackLine(TZemCanvas& canvas, const TZemRect& dataRect);
    void DrawBar(TZemCanvas& canvas, const TZemRect& dataRect);
    void DrawScale(TZemCanvas& canvas, const TZemRect& dataRect);
    void DrawCaption(TZemCanvas& canvas, const TZemRect& dataRect);
    /// True when this object's class is one whose colour functions are the built-in ones.
    bool HasBuiltInColors() const;

    TZemLevelHost m_host;
    int32_t m_barWidth = 14;
    bool m_grayScale = false;
    std::unique_ptr<TZemLevelDisplayColors> m_colors;
    /// `Colors` resolved to RGB (0x00BBGGRR), rebuilt on every change of the list.
    std::vector<uint32_t> m_stops;
    /// Counts colour changes, so the bar image knows when it is stale.
    uint64_t m_colorGeneration = 0;
    /// The bar as last drawn (`BarWidth` × (H + 1)) and the colour generation it shows.
    QImage m_barImage;
    uint64_t m_barImageGeneration = 0;
    double m_trackedValue = -10000000.0;
    TZemLevelPointer m_lastPointer;
    bool m_pointerSeen = false;
};

/// Adds the scale settings `Axis` (and its label hook) and the ignored hook `_Axis`.
class TZemAxisDisplayLevelView : public TZemBasicLevelDisplayLevelView {
  public:
    TZemAxisDisplayLevelView(TZemDataDisplay* display, TZemLevelHost host);
    ~TZemAxisDisplayLevelView() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemLevelAxis* GetAxis() const override { return m_axis.get(); }
    /// The base text, then `Axis.OnCustomLabel` with this view as sender.
    std::string FormatLevel(double value) override;

  private:
    std::unique_ptr<TZemLevelAxis> m_axis;
    TZemLevelExpandEvent m_expandHook;
};

/// The waterfall's `Levels`: adds the caption `LevelLabel`.
class TZemDisplayLevelView : public TZemAxisDisplayLevelView {
  public:
    TZemDisplayLevelView(TZemDataDisplay* display, TZemLevelHost host);
    ~TZemDisplayLevelView() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemLevelDisplayLabel* GetLevelLabel() const { return m_levelLabel.get(); }
    TZemDisplayLabel* GetCaptionLabel() const override { return m_levelLabel.get(); }
    /// `LevelLabel.Text`.
    std::string GetLabelText() const override;

  private:
    std::unique_ptr<TZemLevelDisplayLabel> m_levelLabel;
};
