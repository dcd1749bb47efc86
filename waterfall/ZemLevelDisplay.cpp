#include "waterfall/ZemLevelDisplay.h"

#include "display/ZemCanvas.h"
#include "display/ZemDataDisplay.h"
#include "display/ZemDisplayTypes.h"
#include "display/ZemFonts.h"
#include "display/ZemScopeAxes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <typeinfo>

namespace {

constexpr int32_t kRainbowTop = 1408;

/// 0x00BBGGRR ↔ 0x00RRGGBB.
inline uint32_t SwapRedBlue(uint32_t color) {
    return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

/// `ZemRound` without its library call, for the per-pixel colour functions: nearest integer,
/// halves to even (lrint rounds in the current mode, as nearbyint does), saturated to 32 bits,
/// NaN 0. Clamping first keeps lrint inside the range where it is exact.
inline int32_t RoundLevel(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int32_t>(std::lrint(std::clamp(value, -2147483648.0, 2147483647.0)));
}

/// The grey level of t: round(t × 255), low 8 bits.
inline uint32_t GreyLevel(double t) {
    return static_cast<uint32_t>(RoundLevel(t * 255.0)) & 0xFFu;
}

/// The rainbow position of t: round(t × 1408) capped at 1408 above only. Capping before
/// rounding gives the same value (1408 rounds to itself) and keeps NaN at 0.
inline int32_t RainbowIndex(double t) {
    return RoundLevel(std::min(t * 1408.0, static_cast<double>(kRainbowTop)));
}

/// The rainbow colour of position `c` (at most 1408) as 0x00RRGGBB.
constexpr uint32_t RainbowRgb(int32_t c) {
    const uint32_t m = static_cast<uint32_t>(c) & 0xFFu;
    if (c < 256) {
        return m; // black to blue; positions below 0 wrap in the low 8 bits
    }
    if (c < 512) {
        return (m << 8) | 0xFFu; // blue to cyan
    }
    if (c < 768) {
        return 0x00FF00u | (255u - m); // cyan to green
    }
    if (c < 1024) {
        return (m << 16) | 0x00FF00u; // green to yellow
    }
    if (c < 1280) {
        return 0xFF0000u | ((255u - m) << 8); // yellow to red
    }
    return 0xFF0000u | m; // red towards magenta
}

/// The rainbow of positions 0 … 1408, so the image fill looks a colour up instead of branching.
constexpr std::array<uint32_t, kRainbowTop + 1> kRainbowTable = [] {
    std::array<uint32_t, kRainbowTop + 1> table{};
    for (int32_t c = 0; c <= kRainbowTop; ++c) {
        table[static_cast<size_t>(c)] = RainbowRgb(c);
    }
    return table;
}();

inline uint32_t RainbowPixel(double t) {
    const int32_t c = RainbowIndex(t);
    return c >= 0 ? kRainbowTable[static_cast<size_t>(c)] : static_cast<uint32_t>(c) & 0xFFu;
}

/// The colour of `v` between the `intervals` + 1 stops (0x00BBGGRR each), TColor order. t is
/// clamped to [0, 1] before the interval is chosen, so the stops are never read past either
/// end: a level beyond the range takes the colour of the nearer end.
inline uint32_t StopColor(const uint32_t* stops, int intervals, double range, double v) {
    const double t = v / range;
    double clamped = t;
    double level = v;
    if (!(t > 0.0)) {
        // Below the minimum, or NaN.
        clamped = 0.0;
        level = 0.0;
    } else if (t > 1.0) {
        clamped = 1.0;
        level = range;
    }
    const int k =
        clamped == 1.0 ? intervals - 1 : std::min(ZemTrunc(clamped * intervals), intervals - 1);
    const double f = (level - k * range / intervals) / (range / intervals);
    const uint32_t c0 = stops[k];
    const uint32_t c1 = stops[k + 1];
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t from = static_cast<int32_t>((c0 >> shift) & 0xFFu);
        const int32_t to = static_cast<int32_t>((c1 >> shift) & 0xFFu);
        // Unsigned sum: the low 8 bits are kept whatever the rounding gives.
        const uint32_t component =
            static_cast<uint32_t>(from) + static_cast<uint32_t>(RoundLevel((to - from) * f));
        result |= (component & 0xFFu) << shift;
    }
    return result;
}

/// out[i × stride] = colour(level of values[i]) with the level measured from `base` (slog
/// units when logarithmic). The colour functor is inlined: no call per pixel.
template <class TColourOf>
void FillLevels(const double* values, int count, double base, bool logarithmic, uint32_t* out,
                ptrdiff_t stride, const TColourOf& colourOf) {
    if (logarithmic) {
        for (int i = 0; i < count; ++i) {
            out[i * stride] = colourOf(ZemSignedLog(values[i]) - base);
        }
    } else {
        for (int i = 0; i < count; ++i) {
            out[i * stride] = colourOf(values[i] - base);
        }
    }
}

bool Inside(const TZemRect& rect, const TZemLevelPointer& point) {
    return rect.Contains(point.m_x, point.m_y);
}

} // namespace

// ---- colour stops ------------------------------------------------------------------------------

TZemLevelDisplayColor::TZemLevelDisplayColor(TVokExtCollection* collection)
    : TVokExtCollectionItem(collection) {
}

const TVokClassInfo& TZemLevelDisplayColor::ClassInfo() {
    using T = TZemLevelDisplayColor;
    // Stored even at its default: a stop's colour depends on the stops before it.
    static const TVokClassInfo info(
        "TZemLevelDisplayColor", &TVokExtCollectionItem::ClassInfo(), nullptr,
        {TVokProp::Color("Color", &T::GetColor, &T::SetColor, kVokClBlack).AlwaysStored()});
    return info;
}

void TZemLevelDisplayColor::SetColor(TVokColor value) {
    if (value != m_color) {
        m_color = value;
        Changed(false);
    }
}

TZemLevelDisplayColors::TZemLevelDisplayColors(TZemBasicLevelDisplayLevelView* view)
    : TVokExtCollection(view, TVokCollectionItemClass::Of<TZemLevelDisplayColor>()), m_view(view) {
}

TZemLevelDisplayColors::~TZemLevelDisplayColors() {
    DestroyItems();
}

const TVokClassInfo& TZemLevelDisplayColors::ClassInfo() {
    static const TVokClassInfo info("TZemLevelDisplayColors", &TVokExtCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemLevelDisplayColor* TZemLevelDisplayColors::GetColorItem(int index) const {
    return static_cast<TZemLevelDisplayColor*>(GetItem(index));
}

TVokColor TZemLevelDisplayColors::DefaultColorFor(const TVokExtCollectionItem* except) const {
    TVokColor best = kDefaultColors[0];
    int bestCount = -1;
    for (const TVokColor candidate : kDefaultColors) {
        int uses = 0;
        for (int index = 0; index < GetCount(); ++index) {
            const TZemLevelDisplayColor* item = GetColorItem(index);
            if (item != except && item->GetColor() == candidate) {
                ++uses;
            }
        }
        if (bestCount < 0 || uses < bestCount) {
            best = candidate;
            bestCount = uses;
        }
    }
    return best;
}

void TZemLevelDisplayColors::ItemAdded(TVokExtCollectionItem* item) {
    // Set quietly: the collection reports the addition itself right after.
    if (auto* stop = dynamic_cast<TZemLevelDisplayColor*>(item)) {
        stop->m_color = DefaultColorFor(item);
    }
}

void TZemLevelDisplayColors::Update(TVokExtCollectionItem* /*item*/) {
    if (m_view != nullptr && !IsDestroying()) {
        m_view->ColorsChanged();
    }
}

// ---- scale settings ----------------------------------------------------------------------------

TZemBasicLevelAxis::TZemBasicLevelAxis(std::function<void()> onChange)
    : m_onChange(std::move(onChange)),
      m_font(ZemMakeDisplayFont(-11, false, [this] { Changed(); })) {
}

TZemBasicLevelAxis::~TZemBasicLevelAxis() = default;

const TVokClassInfo& TZemBasicLevelAxis::ClassInfo() {
    using T = TZemBasicLevelAxis;
    static const TVokClassInfo info(
        "TZemBasicLevelAxis", nullptr, nullptr,
        {
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, kVokClWhite),
            TVokProp::Object("Font", &T::GetFont),
            TVokProp::Integer("Precision", &T::GetPrecision, &T::SetPrecision, 3),
            TVokProp::Bool("FixedPrecision", &T::GetFixedPrecision, &T::SetFixedPrecision, false),
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
            TVokProp::Bool("Logarithmic", &T::GetLogarithmic, &T::SetLogarithmic, false),
        });
    return info;
}

void TZemBasicLevelAxis::SetColor(TVokColor value) {
    if (value != m_color) {
        m_color = value;
        Changed();
    }
}

void TZemBasicLevelAxis::SetPrecision(int32_t value) {
    value = std::clamp(value, 0, kMaxPrecision);
    if (value != m_precision) {
        m_precision = value;
        Changed();
    }
}

void TZemBasicLevelAxis::SetFixedPrecision(bool value) {
    if (value != m_fixedPrecision) {
        m_fixedPrecision = value;
        Changed();
    }
}

void TZemBasicLevelAxis::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        Changed();
    }
}

void TZemBasicLevelAxis::SetLogarithmic(bool value) {
    if (value != m_logarithmic) {
        m_logarithmic = value;
        Changed();
    }
}

const TVokClassInfo& TZemLevelAxis::ClassInfo() {
    using T = TZemLevelAxis;
    static const TVokClassInfo info(
        "TZemLevelAxis", &TZemBasicLevelAxis::ClassInfo(), nullptr,
        {
            TVokProp::Bool("Autoscale", &T::GetAutoscale, &T::SetAutoscale, true),
            TVokProp::Integer("Min", &T::GetMin, &T::SetMin, 0),
            TVokProp::Integer("Max", &T::GetMax, &T::SetMax, 1000),
            TVokProp::Event("OnCustomLabel", &T::GetOnCustomLabel, &T::SetOnCustomLabel),
        });
    return info;
}

void TZemLevelAxis::SetAutoscale(bool value) {
    if (value != m_autoscale) {
        m_autoscale = value;
        Changed();
    }
}

void TZemLevelAxis::SetMin(int32_t value) {
    if (value != m_min) {
        m_min = value;
        Changed();
    }
}

void TZemLevelAxis::SetMax(int32_t value) {
    if (value != m_max) {
        m_max = value;
        Changed();
    }
}

void TZemLevelAxis::SetOnCustomLabel(TZemCustomLevelLabelEvent handler) {
    m_onCustomLabel = std::move(handler);
    Changed();
}

// ---- caption -----------------------------------------------------------------------------------

TZemLevelDisplayLabel::TZemLevelDisplayLabel(std::function<void()> onChange)
    : TZemDisplayLabel([this] { Notify(); }, -13, true) {
    // The owner hears only of later changes: it is still being built.
    SetText("Levels");
    m_onChange = std::move(onChange);
}

void TZemLevelDisplayLabel::Notify() {
    if (m_onChange) {
        m_onChange();
    }
}

const TVokClassInfo& TZemLevelDisplayLabel::ClassInfo() {
    static const TVokClassInfo info("TZemLevelDisplayLabel", &TZemDisplayLabel::ClassInfo(),
                                    nullptr,
                                    {TVokProp::String("Text", &TZemDisplayLabel::GetText,
                                                      &TZemDisplayLabel::SetText, "Levels")});
    return info;
}

// ---- TZemBasicLevelDisplayLevelView ------------------------------------------------------------

TZemBasicLevelDisplayLevelView::TZemBasicLevelDisplayLevelView(TZemDataDisplay* display,
                                                               TZemLevelHost host)
    : TZemTrackingOptionalAxis(display), m_host(std::move(host)),
      m_colors(std::make_unique<TZemLevelDisplayColors>(this)) {
}

TZemBasicLevelDisplayLevelView::~TZemBasicLevelDisplayLevelView() = default;

const TVokClassInfo& TZemBasicLevelDisplayLevelView::ClassInfo() {
    using T = TZemBasicLevelDisplayLevelView;
    static const TVokClassInfo info(
        "TZemBasicLevelDisplayLevelView", &TZemTrackingOptionalAxis::ClassInfo(), nullptr,
        {
            TVokProp::Integer("BarWidth", &T::GetBarWidth, &T::SetBarWidth, 14),
            TVokProp::Bool("GrayScale", &T::GetGrayScale, &T::SetGrayScale, false),
            TVokProp::Collection("Colors", &T::GetColors),
        });
    return info;
}

void TZemBasicLevelDisplayLevelView::SetBarWidth(int32_t value) {
    value = std::clamp(value, 0, kMaxBarWidth);
    if (value != m_barWidth) {
        m_barWidth = value;
        SettingsChanged();
    }
}

void TZemBasicLevelDisplayLevelView::SetGrayScale(bool value) {
    if (value != m_grayScale) {
        m_grayScale = value;
        ColorsChanged();
    }
}

void TZemBasicLevelDisplayLevelView::SettingsChanged() {
    if (m_display != nullptr) {
        m_display->InvalidateLayout();
    }
}

void TZemBasicLevelDisplayLevelView::ColorsChanged() {
    ResolveStops();
    ++m_colorGeneration;
    if (m_host.m_colorsChanged) {
        m_host.m_colorsChanged();
    }
    SettingsChanged();
}

void TZemBasicLevelDisplayLevelView::ResolveStops() {
    // Sized exactly, so a read past the last stop is a read past the allocation.
    std::vector<uint32_t> stops;
    stops.reserve(static_cast<size_t>(m_colors->GetCount()));
    for (int index = 0; index < m_colors->GetCount(); ++index) {
        const TVokColor color = m_colors->GetColorItem(index)->GetColor();
        stops.push_back(static_cast<uint32_t>(TZemCanvas::FromQColor(TZemCanvas::ToQColor(color))) &
                        0xFFFFFFu);
    }
    m_stops = std::move(stops);
}

// ---- colours -----------------------------------------------------------------------------------

TVokColor TZemBasicLevelDisplayLevelView::ColorOf(double range, double v) const {
    if (m_grayScale) {
        return static_cast<TVokColor>(GreyLevel(v / range) * 0x010101u);
    }
    if (m_stops.size() >= 2) {
        const int intervals = static_cast<int>(m_stops.size()) - 1;
        return static_cast<TVokColor>(StopColor(m_stops.data(), intervals, range, v));
    }
    return RainbowColor(range, v);
}

TVokColor TZemBasicLevelDisplayLevelView::RainbowColor(double range, double v) const {
    return static_cast<TVokColor>(SwapRedBlue(RainbowRgb(RainbowIndex(v / range))));
}

uint32_t TZemBasicLevelDisplayLevelView::PixelColor(double range, double v) const {
    return SwapRedBlue(static_cast<uint32_t>(ColorOf(range, v)));
}

bool TZemBasicLevelDisplayLevelView::HasBuiltInColors() const {
    // Only these classes are known to keep the built-in colour functions; any other class may
    // override them and is served through its own `PixelColor`.
    const std::type_info& type = typeid(*this);
    return type == typeid(TZemDisplayLevelView) || type == typeid(TZemAxisDisplayLevelView);
}

void TZemBasicLevelDisplayLevelView::PixelColors(const double* values, int count, double minimum,
                                                 double range, bool logarithmic, uint32_t* out,
                                                 ptrdiff_t outStride) const {
    if (values == nullptr || out == nullptr || count < 1) {
        return;
    }
    const double base = logarithmic ? ZemSignedLog(minimum) : minimum;
    if (!HasBuiltInColors()) {
        FillLevels(values, count, base, logarithmic, out, outStride,
                   [this, range](double v) { return PixelColor(range, v); });
        return;
    }
    if (m_grayScale) {
        FillLevels(values, count, base, logarithmic, out, outStride,
                   [range](double v) { return GreyLevel(v / range) * 0x010101u; });
    } else if (m_stops.size() >= 2) {
        const uint32_t* stops = m_stops.data();
        const int intervals = static_cast<int>(m_stops.size()) - 1;
        FillLevels(values, count, base, logarithmic, out, outStride,
                   [stops, intervals, range](double v) {
                       return SwapRedBlue(StopColor(stops, intervals, range, v));
                   });
    } else {
        FillLevels(values, count, base, logarithmic, out, outStride,
                   [range](double v) { return RainbowPixel(v / range); });
    }
}

// ---- levels and labels -------------------------------------------------------------------------

double TZemBasicLevelDisplayLevelView::GetLevelMin() const {
    return m_host.m_getMin ? m_host.m_getMin() : 0.0;
}

double TZemBasicLevelDisplayLevelView::GetLevelMax() const {
    return m_host.m_getMax ? m_host.m_getMax() : 0.0;
}

double TZemBasicLevelDisplayLevelView::TransformLevel(double value) const {
    return IsLogarithmic() ? ZemSignedLog(value) : value;
}

bool TZemBasicLevelDisplayLevelView::IsLogarithmic() const {
    return GetAxis()->GetLogarithmic();
}

TVokFont* TZemBasicLevelDisplayLevelView::GetFont() const {
    return GetAxis()->GetFont();
}

double TZemBasicLevelDisplayLevelView::GetRange(bool logUnits) {
    const double minimum = GetLevelMin();
    const double maximum = GetLevelMax();
    return logUnits ? ZemSignedLog(maximum) - ZemSignedLog(minimum) : maximum - minimum;
}

int TZemBasicLevelDisplayLevelView::GetMinLabelSpacing() {
    return std::max(LabelHeight() + 4, 20);
}

std::string TZemBasicLevelDisplayLevelView::FormatLevel(double value) {
    const TZemBasicLevelAxis* axis = GetAxis();
    return detail::ZemFormatScopeLabel(value, axis->GetPrecision(), axis->GetFixedPrecision(),
                                       GetLevelMax() - GetLevelMin());
}

double TZemBasicLevelDisplayLevelView::TrackRange() const {
    const double range = TransformLevel(GetLevelMax()) - TransformLevel(GetLevelMin());
    return range == 0.0 ? 1.0 : range;
}

// ---- tracking ----------------------------------------------------------------------------------

TZemRect TZemBasicLevelDisplayLevelView::DataRect() const {
    if (m_display == nullptr || m_display->GetDataView() == nullptr) {
        return TZemRect{};
    }
    return m_display->GetDataView()->GetRect();
}

void TZemBasicLevelDisplayLevelView::MouseMove(TZemShiftState shift, int x, int y) {
    TZemTrackingOptionalAxis::MouseMove(shift, x, y);
    m_pointerSeen = true;
    if (!GetVisible()) {
        return;
    }
    const TZemRect dataRect = DataRect();
    const bool inside = dataRect.Contains(x, y);
    if (!inside && Inside(dataRect, m_lastPointer)) {
        // The track line goes away. Without tracking there is none to remove.
        if (GetTrackCursor() && m_display != nullptr) {
            Invalidate();
        }
        return;
    }
    if (GetTrackCursor() && inside) {
        const double value = m_host.m_valueAt ? m_host.m_valueAt(x, y) : GetLevelMin();
        if (value != m_trackedValue) {
            m_trackedValue = value;
            if (m_display != nullptr) {
                Invalidate();
            }
        }
    }
    m_lastPointer = TZemLevelPointer{x, y};
}

void TZemBasicLevelDisplayLevelView::RefreshLevelTracking(bool invalidate) {
    if (invalidate && m_display != nullptr) {
        Invalidate();
    }
    if (m_pointerSeen && GetVisible() && GetTrackCursor() && Inside(DataRect(), m_lastPointer)) {
        const double value = m_host.m_valueAt
                                 ? m_host.m_valueAt(m_lastPointer.m_x, m_lastPointer.m_y)
                                 : GetLevelMin();
        if (value != m_trackedValue) {
            m_trackedValue = value;
        }
    }
}

// ---- layout and drawing ------------------------------------------------------------------------

namespace {

/// The widths the layout and the track line need: the whole preferred width and where the
/// track line ends.
struct TLevelWidths {
    int m_width = 0;
    int m_trackEnd = 0;
};

TLevelWidths ComputeLevelWidths(TZemBasicLevelDisplayLevelView& view) {
    const TZemBasicLevelAxis* axis = view.GetAxis();
    int64_t width = int64_t{view.GetBarWidth()} + 4;
    if (axis->GetVisible()) {
        const TVokFont& font = *axis->GetFont();
        const int widest = std::max(ZemTextWidth(font, view.FormatLevel(view.GetLevelMax())),
                                    ZemTextWidth(font, view.FormatLevel(view.GetLevelMin())));
        width += int64_t{widest} + 9;
    }
    TLevelWidths widths;
    widths.m_trackEnd = ZemClampPixel(width - 2);
    const TZemDisplayLabel* label = view.GetCaptionLabel();
    const bool captionShows = label != nullptr && label->GetVisible();
    if (captionShows) {
        width += int64_t{ZemTextHeight(*label->GetFont(), "Xg")} + 2;
    }
    if (!axis->GetVisible() && !captionShows) {
        width += 2;
    }
    widths.m_width = ZemClampPixel(width);
    return widths;
}

} // namespace

void TZemBasicLevelDisplayLevelView::ComputePreferredSize(int& width, int& height) const {
    // Layout queries are const, but label texts come from the (non-const) label hook.
    width = ComputeLevelWidths(const_cast<TZemBasicLevelDisplayLevelView&>(*this)).m_width;
    height = -1;
}

int TZemBasicLevelDisplayLevelView::GetTrackLineEnd() const {
    return ComputeLevelWidths(const_cast<TZemBasicLevelDisplayLevelView&>(*this)).m_trackEnd;
}

void TZemBasicLevelDisplayLevelView::DrawView(const TZemDrawArgs& args) {
    if (args.m_canvas == nullptr || m_display == nullptr) {
        return;
    }
    TZemCanvas& canvas = *args.m_canvas;
    const TZemRect dataRect = DataRect();
    if (dataRect.IsEmpty()) {
        return;
    }
    if (!args.m_exporting) {
        DrawTrackLine(canvas, dataRect);
    }
    DrawBar(canvas, dataRect);
    if (GetAxis()->GetVisible()) {
        DrawScale(canvas, dataRect);
    }
    DrawCaption(canvas, dataRect);
}

void TZemBasicLevelDisplayLevelView::DrawBar(TZemCanvas& canvas, const TZemRect& dataRect) {
    // Line n has the colour of level H − n over the span H, so the top line shows the maximum
    // and the bottom line the minimum. The lines are kept as an image and redrawn only when
    // their size or the colours change: a pen per line would cost a pen per line every frame.
    const int barHeight = dataRect.m_bottom - dataRect.m_top - 1;
    if (barHeight <= 0 || m_barWidth <= 0) {
        return;
    }
    if (m_barImage.height() != barHeight + 1 || m_barImage.width() != m_barWidth ||
        m_barImageGeneration != m_colorGeneration) {
        m_barImage = QImage(m_barWidth, barHeight + 1, QImage::Format_RGB32);
        for (int n = 0; n <= barHeight; ++n) {
            const uint32_t pixel =
                0xFF000000u | SwapRedBlue(static_cast<uint32_t>(ColorOf(barHeight, barHeight - n)));
            auto* line = reinterpret_cast<uint32_t*>(m_barImage.scanLine(n));
            std::fill(line, line + m_barWidth, pixel);
        }
        m_barImageGeneration = m_colorGeneration;
    }
    const QRect area(0, 0, m_barWidth, barHeight + 1);
    canvas.StretchImage(area.translated(Left() + 2, dataRect.m_top), m_barImage, area, false);
}

void TZemBasicLevelDisplayLevelView::DrawTrackLine(TZemCanvas& canvas, const TZemRect& dataRect) {
    if (!GetTrackCursor() || m_display->IsDesigning() || !m_pointerSeen ||
        !dataRect.Contains(m_display->GetMouseX(), m_display->GetMouseY())) {
        return;
    }
    const int barHeight = dataRect.m_bottom - dataRect.m_top - 1;
    const double distance = TransformLevel(m_trackedValue) - TransformLevel(GetLevelMin());
    const int y = ZemClampPixel(int64_t{dataRect.m_top} + barHeight -
                                ZemRound(distance / TrackRange() * barHeight));
    canvas.SetPen(GetTrackColor());
    canvas.MoveTo(Left() + 4, y);
    canvas.LineTo(Left() + GetTrackLineEnd(), y);
}

void TZemBasicLevelDisplayLevelView::DrawScale(TZemCanvas& canvas, const TZemRect& dataRect) {
    const TZemBasicLevelAxis* axis = GetAxis();
    const int lineX = Left() + m_barWidth + 2;
    canvas.SetPen(axis->GetColor());
    canvas.MoveTo(lineX, dataRect.m_top);
    canvas.LineTo(lineX, dataRect.m_bottom);
    canvas.SetFont(ZemFontDescOf(*axis->GetFont()));
    canvas.SetBrush(0, zbsClear);

    // Value v (transformed) sits at bottom − 1 + round(height × offset) − v × height / span.
    const double minimum = GetLevelMin();
    const double maximum = GetLevelMax();
    const double transformedMin = TransformLevel(minimum);
    const double span = TransformLevel(maximum) - transformedMin;
    const int rectHeight = dataRect.m_bottom - dataRect.m_top;
    double offset = 0.0;
    double scale = 1.0;
    if (span != 0.0 && std::isfinite(span)) {
        offset = transformedMin / span;
        scale = rectHeight / span;
    }

    // The walk's callbacks capture one pointer each, so drawing the scale allocates nothing.
    struct TScaleTicks {
        TZemBasicLevelDisplayLevelView* m_view;
        TZemCanvas* m_canvas;
        int64_t m_origin;
        double m_scale;
        int m_lineX;
        int m_halfLabel;
        int PixelOf(double value) const {
            return ZemClampPixel(m_origin - ZemRound(m_view->TransformLevel(value) * m_scale));
        }
        void Mark(const detail::TZemTickMark& mark) {
            m_canvas->MoveTo(m_lineX, mark.m_pixel);
            if (!mark.m_major) {
                m_canvas->LineTo(m_lineX + 3, mark.m_pixel);
                return;
            }
            m_canvas->LineTo(m_lineX + 6, mark.m_pixel);
            m_canvas->TextOut(m_lineX + 8, mark.m_pixel - m_halfLabel,
                              m_view->FormatLevel(mark.m_value));
        }
    };
    TScaleTicks ticks{
        this,  &canvas, int64_t{dataRect.m_bottom} - 1 + ZemRound(rectHeight * offset),
        scale, lineX,   canvas.TextHeight("Xg") / 2};
    TScaleTicks* state = &ticks;

    detail::TZemTickWalk walk;
    walk.m_low = minimum;
    walk.m_high = maximum;
    walk.m_step = GetMajorStep();
    walk.m_minDistance = GetMajorTicks()->GetMode() == mtmOverride ? 1 : GetLabelExtent();
    walk.m_minorCount = GetMinorTicks()->GetCount();
    walk.m_logarithmic = IsLogarithmic();
    walk.m_spanBegin = dataRect.m_top;
    walk.m_spanEnd = dataRect.m_bottom;
    walk.m_pixelOf = [state](double value) { return state->PixelOf(value); };
    if (GetOnCustomStep()) {
        walk.m_customStep = [this](double value, double& step, bool& draw) {
            const double majorStep = step;
            GetOnCustomStep()(this, value, step, draw);
            if (step != majorStep) {
                step = AdjustCustomStep(step);
            }
        };
    }
    detail::ZemWalkTicks(walk, [state](const detail::TZemTickMark& mark) { state->Mark(mark); });
}

void TZemBasicLevelDisplayLevelView::DrawCaption(TZemCanvas& canvas, const TZemRect& dataRect) {
    const TZemDisplayLabel* label = GetCaptionLabel();
    if (label == nullptr || !label->GetVisible()) {
        return;
    }
    const std::string text = GetLabelText();
    if (text.empty()) {
        return;
    }
    canvas.SetFont(ZemFontDescOf(*label->GetFont()));
    canvas.SetBrush(0, zbsClear);
    const int barHeight = dataRect.m_bottom - dataRect.m_top - 1;
    const int width = canvas.TextWidth(text);
    // Running top to bottom, the glyph cells lie left of x.
    canvas.TextOutRotated270(GetRect().m_right - 2, dataRect.m_top + barHeight / 2 - width / 2,
                             text);
}

// ---- TZemAxisDisplayLevelView ------------------------------------------------------------------

TZemAxisDisplayLevelView::TZemAxisDisplayLevelView(TZemDataDisplay* display, TZemLevelHost host)
    : TZemBasicLevelDisplayLevelView(display, std::move(host)),
      m_axis(std::make_unique<TZemLevelAxis>([this] {
          // Font and precision change label sizes, so the cached step goes too.
          InvalidateStep();
          SettingsChanged();
      })) {
}

TZemAxisDisplayLevelView::~TZemAxisDisplayLevelView() = default;

const TVokClassInfo& TZemAxisDisplayLevelView::ClassInfo() {
    using T = TZemAxisDisplayLevelView;
    static const TVokClassInfo info(
        "TZemAxisDisplayLevelView", &TZemBasicLevelDisplayLevelView::ClassInfo(), nullptr,
        {
            TVokProp::Object("Axis", &T::GetAxis),
            TVokProp::Event("_Axis", &T::m_expandHook, &T::m_expandHook),
        });
    return info;
}

std::string TZemAxisDisplayLevelView::FormatLevel(double value) {
    std::string text = TZemBasicLevelDisplayLevelView::FormatLevel(value);
    if (const TZemCustomLevelLabelEvent& handler = m_axis->GetOnCustomLabel()) {
        handler(this, value, text);
    }
    return text;
}

// ---- TZemDisplayLevelView ----------------------------------------------------------------------

TZemDisplayLevelView::TZemDisplayLevelView(TZemDataDisplay* display, TZemLevelHost host)
    : TZemAxisDisplayLevelView(display, std::move(host)),
      m_levelLabel(std::make_unique<TZemLevelDisplayLabel>([this] { SettingsChanged(); })) {
}

TZemDisplayLevelView::~TZemDisplayLevelView() = default;

const TVokClassInfo& TZemDisplayLevelView::ClassInfo() {
    using T = TZemDisplayLevelView;
    static const TVokClassInfo info("TZemDisplayLevelView", &TZemAxisDisplayLevelView::ClassInfo(),
                                    nullptr, {TVokProp::Object("LevelLabel", &T::GetLevelLabel)});
    return info;
}

std::string TZemDisplayLevelView::GetLabelText() const {
    return m_levelLabel->GetText();
}
