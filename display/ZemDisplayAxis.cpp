#include "display/ZemDisplayAxis.h"

#include "display/ZemCanvas.h"
#include "display/ZemDataDisplay.h"
#include "display/ZemFonts.h"
#include "display/ZemToolBar.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace detail {

TZemAxisMapping ZemAxisMapping(double first, double second, int length, bool yRule, bool reversed,
                               bool logarithmic) {
    double e = 0.0;
    double f = 0.0;
    if (yRule != reversed) {
        // Y not reversed, X reversed: the first value at the near edge.
        e = first;
        f = second;
    } else {
        e = -second;
        f = -first;
    }
    if (logarithmic) {
        e = ZemSignedLog(e);
        f = ZemSignedLog(f);
    }
    const double lengthValue = length;
    const double g = e - f;
    TZemAxisMapping mapping;
    if (g != 0.0 && std::isfinite(g) && std::isfinite(f)) {
        mapping.m_scale = lengthValue / g;
        // Negating before rounding: the saturated result of an extreme value has no negation.
        mapping.m_offset = ZemRound(-(f * lengthValue / g));
    } else {
        // A single value (or a range beyond doubles): a scale of 0 puts every value, not only
        // 0, on the middle pixel.
        mapping.m_offset = ZemRound(lengthValue * 0.5);
        mapping.m_scale = 0.0;
    }
    if (yRule == reversed) {
        mapping.m_scale = -mapping.m_scale;
    }
    return mapping;
}

int ZemMapValue(const TZemAxisMapping& mapping, int farEdge, double value, bool logarithmic) {
    const double units = logarithmic ? ZemSignedLog(value) : value;
    const int64_t pixel = static_cast<int64_t>(farEdge) - mapping.m_offset - 1 -
                          static_cast<int64_t>(ZemRound(units * mapping.m_scale));
    return ZemClampPixel(pixel);
}

double ZemAutoStep(double range, double logRange, int length, int spacing, int labelHeight,
                   bool logarithmic) {
    const double unitsRange = logarithmic ? logRange : range;
    if (length <= 0 || range == 0.0 || !std::isfinite(range) || unitsRange == 0.0 ||
        !std::isfinite(unitsRange)) {
        return 1.0;
    }
    double estimate = static_cast<double>(spacing) * range / length;
    if (logarithmic) {
        estimate = ZemSignedLog(estimate);
    }
    if (estimate == 0.0 || !std::isfinite(estimate)) {
        return 1.0;
    }
    static constexpr double kMantissas[4] = {1.0, 2.0, 2.5, 5.0};
    const double exponent = std::log10(std::fabs(estimate));
    double decade = std::floor(exponent);
    const double fraction = exponent - decade;
    int index = 0;
    if (fraction <= std::log10(2.0)) {
        index = fraction > 0.0 ? 1 : 0;
    } else if (fraction <= std::log10(2.5)) {
        index = 2;
    } else if (fraction <= std::log10(5.0)) {
        index = 3;
    } else {
        decade += 1.0;
    }
    double minPixels = labelHeight + 2.0;
    if (logarithmic) {
        minPixels = ZemRound(ZemSignedLog(minPixels));
    }
    const double sign = estimate < 0.0 ? -1.0 : 1.0;
    // Every four rounds the decade grows, so doubles run out after about 2500 rounds; the bound
    // only guards against a comparison that never holds.
    for (int round = 0; round < 2600; ++round) {
        const double step = sign * kMantissas[index] * std::pow(10.0, decade);
        if (!std::isfinite(step) || step == 0.0) {
            return 1.0;
        }
        if (step / unitsRange * length >= minPixels) {
            return step;
        }
        if (++index == 4) {
            index = 0;
            decade += 1.0;
        }
    }
    return 1.0;
}

double ZemCustomStep(double step, double range, int length, int minSpacing) {
    if (!(step > 0.0) || !std::isfinite(step)) {
        step = 1.0;
    }
    if (length <= 0 || range == 0.0 || !std::isfinite(range)) {
        return step;
    }
    // Doubling reaches the end of doubles after about 2100 rounds.
    for (int round = 0; round < 2200; ++round) {
        if (std::fabs(std::trunc(length * step / range)) > minSpacing) {
            return step;
        }
        const double doubled = step * 2.0;
        if (!std::isfinite(doubled)) {
            return step;
        }
        step = doubled;
    }
    return step;
}

void ZemWalkTicks(const TZemTickWalk& walk, const std::function<void(const TZemTickMark&)>& mark) {
    if (!walk.m_pixelOf || !mark) {
        return;
    }
    double low = walk.m_low;
    double high = walk.m_high;
    if (!std::isfinite(low) || !std::isfinite(high)) {
        return;
    }
    if (low > high) {
        std::swap(low, high);
    }
    double majorStep = std::fabs(walk.m_step);
    if (!(majorStep > 0.0) || !std::isfinite(majorStep)) {
        majorStep = 1.0;
    }
    double start = low < 0.0 && 0.0 < high ? 0.0 : (low >= 0.0 ? low : high);
    const double snapped = std::trunc(start / majorStep) * majorStep;
    if (std::isfinite(snapped)) {
        start = snapped;
    }
    bool startReported = false;

    const auto inSpan = [&walk](int64_t pixel) {
        return pixel >= walk.m_spanBegin && pixel < walk.m_spanEnd;
    };
    const auto runDirection = [&](bool down) {
        double value = start;
        double step = majorStep;
        bool hasPrevious = false;
        int64_t previousPixel = 0;
        for (int count = 0; count < kZemMaxTicksPerDirection; ++count) {
            if (down ? !(value >= low - step) : !(value <= high + step)) {
                break;
            }
            step = majorStep;
            bool draw = true;
            if (walk.m_customStep) {
                walk.m_customStep(value, step, draw);
                step = std::fabs(step);
                if (!(step > 0.0) || !std::isfinite(step)) {
                    step = majorStep;
                }
            }
            const int64_t pixel = walk.m_pixelOf(value);
            if (!hasPrevious || std::llabs(pixel - previousPixel) > walk.m_minDistance) {
                const bool repeat = value == start && startReported;
                if (draw && inSpan(pixel) && !repeat) {
                    mark(TZemTickMark{static_cast<int>(pixel), value, true,
                                      std::fabs(value) < step / 2.0});
                    startReported = startReported || value == start;
                }
                if (hasPrevious && walk.m_minorCount > 0) {
                    // More minor ticks than pixels between two majors cannot be told apart.
                    const int64_t distance = std::llabs(pixel - previousPixel);
                    const int64_t minorCount =
                        std::min<int64_t>(walk.m_minorCount, std::max<int64_t>(distance, 1));
                    int64_t last = previousPixel;
                    for (int64_t i = 0; i < minorCount; ++i) {
                        last += (pixel - last) / (minorCount - i + 1);
                        if (inSpan(last)) {
                            mark(TZemTickMark{static_cast<int>(last), value, false, false});
                        }
                    }
                }
                previousPixel = pixel;
                hasPrevious = true;
            }
            double increment = step;
            if (walk.m_logarithmic) {
                increment = std::pow(10.0, std::trunc(ZemSignedLog(value))) * step;
            }
            const double next = down ? value - increment : value + increment;
            if (next == value || !std::isfinite(next)) {
                break;
            }
            value = next;
        }
    };
    if (low < 0.0) {
        runDirection(true);
    }
    if (high > 0.0) {
        runDirection(false);
    }
}

std::string ZemFormatFixed(double value, int digits) {
    // Longest fixed text: 309 integer digits, sign, point and the decimals.
    constexpr int kMaxDigits = 400;
    char buffer[kMaxDigits + 330];
    digits = std::clamp(digits, 0, kMaxDigits);
    // to_chars formats exactly as "%.<digits>f" does in the C locale, whatever the process
    // locale says about the decimal point.
    auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, digits);
    if (result.ec != std::errc()) {
        result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    }
    std::string text(buffer, result.ec == std::errc() ? result.ptr : buffer);
    if (text.size() > 1 && text.front() == '-' &&
        text.find_first_not_of("0.", 1) == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

} // namespace detail

namespace {

bool DisplayDesigning(const TZemDataDisplay* display) {
    return display != nullptr && display->IsDesigning();
}

} // namespace

// ---- tick settings -----------------------------------------------------------------------------

const TVokClassInfo& TZemMinorTicks::ClassInfo() {
    using T = TZemMinorTicks;
    static const TVokClassInfo info("TZemMinorTicks", nullptr, nullptr,
                                    {TVokProp::Integer("Count", &T::GetCount, &T::SetCount, 0)});
    return info;
}

void TZemMinorTicks::SetCount(uint32_t value) {
    if (value != m_count) {
        m_count = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

const TVokClassInfo& TZemMajorTicksParam::ClassInfo() {
    using T = TZemMajorTicksParam;
    static const TVokClassInfo info("TZemMajorTicksParam", nullptr, nullptr,
                                    {TVokProp::Enum("Mode", {"mtmAuto", "mtmCustom", "mtmOverride"},
                                                    &T::GetMode, &T::SetMode, mtmAuto)});
    return info;
}

void TZemMajorTicksParam::SetMode(TZemMajorTicksMode value) {
    if (value > mtmOverride) {
        throw std::invalid_argument("MajorTicks Mode " + std::to_string(static_cast<int>(value)) +
                                    " is out of range: expected mtmAuto, mtmCustom or mtmOverride");
    }
    if (value != m_mode) {
        m_mode = value;
        Changed();
    }
}

const TVokClassInfo& TZemTicksStart::ClassInfo() {
    using T = TZemTicksStart;
    static const TVokClassInfo info(
        "TZemTicksStart", &TZemMajorTicksParam::ClassInfo(), nullptr,
        {TVokProp::Float("StartFrom", &T::GetStartFrom, &T::SetStartFrom, 0.0)});
    return info;
}

void TZemTicksStart::SetStartFrom(double value) {
    if (value != m_startFrom) {
        m_startFrom = value;
        Changed();
    }
}

TZemMajorTicks::TZemMajorTicks(std::function<void()> onChange)
    : TZemMajorTicksParam(onChange), m_startFrom(std::make_unique<TZemTicksStart>(onChange)) {
}

const TVokClassInfo& TZemMajorTicks::ClassInfo() {
    using T = TZemMajorTicks;
    static const TVokClassInfo info("TZemMajorTicks", &TZemMajorTicksParam::ClassInfo(), nullptr,
                                    {
                                        TVokProp::Float("Step", &T::GetStep, &T::SetStep, 10.0),
                                        TVokProp::Object("StartFrom", &T::GetStartFrom),
                                    });
    return info;
}

void TZemMajorTicks::SetStep(double value) {
    if (!(value > 0.0) || !std::isfinite(value)) {
        value = 1.0;
    }
    if (value != m_step) {
        m_step = value;
        Changed();
    }
}

// ---- TZemOptionalAxis --------------------------------------------------------------------------

const TVokClassInfo& TZemOptionalAxis::ClassInfo() {
    static const TVokClassInfo info("TZemOptionalAxis", &TZemOptionalView::ClassInfo(), nullptr,
                                    {});
    return info;
}

// ---- TZemTrackingOptionalAxis ------------------------------------------------------------------

TZemTrackingOptionalAxis::TZemTrackingOptionalAxis(TZemDataDisplay* display)
    : TZemOptionalAxis(display),
      m_majorTicks(std::make_unique<TZemMajorTicks>([this] { TicksChanged(); })),
      m_minorTicks(std::make_unique<TZemMinorTicks>([this] { TicksChanged(); })) {
}

TZemTrackingOptionalAxis::~TZemTrackingOptionalAxis() = default;

const TVokClassInfo& TZemTrackingOptionalAxis::ClassInfo() {
    using T = TZemTrackingOptionalAxis;
    static const TVokClassInfo info(
        "TZemTrackingOptionalAxis", &TZemOptionalAxis::ClassInfo(), nullptr,
        {
            TVokProp::Bool("TrackCursor", &T::GetTrackCursor, &T::SetTrackCursor, true),
            TVokProp::Color("TrackColor", &T::GetTrackColor, &T::SetTrackColor, 0x0000FF),
            TVokProp::Object("MajorTicks", &T::GetMajorTicks),
            TVokProp::Object("MinorTicks", &T::GetMinorTicks),
            TVokProp::Event("OnCustomStep", &T::GetOnCustomStep, &T::SetOnCustomStep),
        });
    return info;
}

void TZemTrackingOptionalAxis::SetTrackCursor(bool value) {
    if (value != m_trackCursor) {
        m_trackCursor = value;
        if (m_display != nullptr) {
            m_display->RedrawDisplay();
        }
    }
}

void TZemTrackingOptionalAxis::SetTrackColor(TVokColor value) {
    if (value != m_trackColor) {
        m_trackColor = value;
        if (m_display != nullptr) {
            m_display->RedrawDisplay();
        }
    }
}

void TZemTrackingOptionalAxis::SetOnCustomStep(TZemCustomStepEvent handler) {
    m_onCustomStep = std::move(handler);
    TicksChanged();
}

void TZemTrackingOptionalAxis::TicksChanged() {
    InvalidateStep();
    if (m_display != nullptr) {
        m_display->InvalidateLayout();
    }
}

int TZemTrackingOptionalAxis::LabelHeight() const {
    const TVokFont* font = GetFont();
    return font != nullptr ? ZemTextHeight(*font, "Xg") : 0;
}

double TZemTrackingOptionalAxis::AdjustCustomStep(double step) {
    const int minSpacing = m_majorTicks->GetMode() == mtmOverride ? 1 : LabelHeight() + 2;
    return detail::ZemCustomStep(step, GetRange(IsLogarithmic()), GetAxisLength(), minSpacing);
}

double TZemTrackingOptionalAxis::GetMajorStep() {
    if (m_majorTicks->GetMode() != mtmAuto) {
        return AdjustCustomStep(m_majorTicks->GetStep());
    }
    const double range = GetRange(false);
    const double logRange = IsLogarithmic() ? GetRange(true) : range;
    const int length = GetAxisLength();
    const bool logarithmic = IsLogarithmic();
    // NaN ranges count as equal, or every paint would compute the step and lay out again.
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    if (m_stepValid && same(m_stepRange, range) && same(m_stepLogRange, logRange) &&
        m_stepLength == length && m_stepLogarithmic == logarithmic) {
        return m_step;
    }
    m_step = detail::ZemAutoStep(range, logRange, length, GetMinLabelSpacing(), LabelHeight(),
                                 logarithmic);
    m_stepRange = range;
    m_stepLogRange = logRange;
    m_stepLength = length;
    m_stepLogarithmic = logarithmic;
    m_stepValid = true;
    if (m_display != nullptr) {
        m_display->InvalidateLayout();
    }
    return m_step;
}

void TZemTrackingOptionalAxis::SetTrackActive(bool value) {
    if (value != m_trackActive) {
        m_trackActive = value;
        if (m_display != nullptr) {
            Invalidate();
        }
    }
}

void TZemTrackingOptionalAxis::DisplayMouseEntered() {
    if (!DisplayDesigning(m_display)) {
        SetTrackActive(true);
    }
}

void TZemTrackingOptionalAxis::DisplayMouseLeft() {
    TZemOptionalAxis::DisplayMouseLeft();
    SetTrackActive(false);
}

// ---- TZemDisplayAxis ---------------------------------------------------------------------------

TZemDisplayAxis::TZemDisplayAxis(TZemDataDisplay* display)
    : TZemTrackingOptionalAxis(display),
      m_font(ZemMakeDisplayFont(-11, false, [this] { SettingsChanged(); })) {
    if (display != nullptr) {
        m_toolBar = std::make_unique<TZemAxisToolBar>(this);
    }
}

TZemDisplayAxis::~TZemDisplayAxis() = default;

const TVokClassInfo& TZemDisplayAxis::ClassInfo() {
    using T = TZemDisplayAxis;
    static const TVokClassInfo info(
        "TZemDisplayAxis", &TZemTrackingOptionalAxis::ClassInfo(), nullptr,
        {
            TVokProp::Bool("Reversed", &T::GetReversed, &T::SetReversed, false),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0xFFFFFF),
            TVokProp::Object("Font", &T::GetFont),
            TVokProp::Event("OnCustomLabel", &T::GetOnCustomLabel, &T::SetOnCustomLabel),
            TVokProp::Object("ToolBar", &T::GetToolBar),
        });
    return info;
}

void TZemDisplayAxis::SetReversed(bool value) {
    if (value != m_reversed) {
        m_reversed = value;
        InvalidateValues();
        SettingsChanged();
    }
}

void TZemDisplayAxis::SetColor(TVokColor value) {
    if (value != m_color) {
        m_color = value;
        if (m_display != nullptr) {
            m_display->RedrawDisplay();
        }
    }
}

void TZemDisplayAxis::SetOnCustomLabel(TZemCustomAxisLabelEvent handler) {
    m_onCustomLabel = std::move(handler);
    SettingsChanged();
}

void TZemDisplayAxis::SettingsChanged() {
    if (m_display != nullptr) {
        m_display->InvalidateLayout();
    }
}

bool TZemDisplayAxis::IsDesigning() const {
    return DisplayDesigning(m_display);
}

TZemRect TZemDisplayAxis::DataViewRect() const {
    if (m_display == nullptr || m_display->GetDataView() == nullptr) {
        return TZemRect{};
    }
    return m_display->GetDataView()->GetRect();
}

// ---- cached values ---------------------------------------------------------------------------

double TZemDisplayAxis::ComputeSlot(TValueSlot slot) {
    switch (slot) {
    case kDataMin:
        return ComputeDataMin();
    case kDataMax:
        return ComputeDataMax();
    case kVisibleMin:
        return ComputeVisibleMin();
    case kVisibleMax:
        return ComputeVisibleMax();
    case kTickMin:
        return ComputeTickMin();
    case kTickMax:
        return ComputeTickMax();
    case kUnitMin:
        return ComputeUnitMin();
    case kUnitMax:
        return ComputeUnitMax();
    case kTickVisibleMin:
        return ComputeTickVisibleMin();
    case kTickVisibleMax:
        return ComputeTickVisibleMax();
    case kValueSlotCount:
        break;
    }
    return 0.0;
}

double TZemDisplayAxis::CachedValue(TValueSlot slot) {
    TCachedValue& cached = m_values[slot];
    if (cached.m_valid || cached.m_computing) {
        // While computing, a hook that comes back to its own value gets the last one.
        return cached.m_value;
    }
    cached.m_computing = true;
    double value = 0.0;
    try {
        value = ComputeSlot(slot);
    } catch (...) {
        cached.m_computing = false;
        throw;
    }
    cached.m_computing = false;
    const double previous = cached.m_value;
    const bool known = cached.m_known;
    cached.m_value = value;
    cached.m_valid = true;
    cached.m_known = true;
    if (known && value != previous && (slot == kTickMin || slot == kTickMax)) {
        const double delta = value - previous;
        if (std::isfinite(delta)) {
            if (slot == kTickMin) {
                TickMinMoved(delta);
            } else {
                TickMaxMoved(delta);
            }
        }
    }
    return cached.m_value;
}

void TZemDisplayAxis::InvalidateValues() {
    for (TCachedValue& cached : m_values) {
        cached.m_valid = false;
    }
}

// ---- labels and measures -----------------------------------------------------------------------

std::string TZemDisplayAxis::FormatValue(double value) {
    return detail::ZemFormatFixed(value, 0);
}

std::string TZemDisplayAxis::FormatLabel(double value) {
    std::string text = FormatValue(value);
    if (m_onCustomLabel) {
        m_onCustomLabel(this, value, text);
    }
    return text;
}

int TZemDisplayAxis::LabelWidth(double value) {
    return ZemTextWidth(*m_font, FormatLabel(value));
}

int TZemDisplayAxis::GetAxisLength() {
    if (m_display == nullptr || m_display->GetDataView() == nullptr) {
        return 0;
    }
    const TZemDisplayView* dataView = m_display->GetDataView();
    return RunsVertically() ? dataView->Height() : dataView->Width();
}

double TZemDisplayAxis::GetRange(bool logUnits) {
    const double low = GetTickVisibleMin();
    const double high = GetTickVisibleMax();
    return logUnits ? ZemSignedLog(high) - ZemSignedLog(low) : high - low;
}

int TZemDisplayAxis::GetLabelExtent() {
    if (RunsVertically()) {
        return LabelHeight();
    }
    return std::max(LabelWidth(GetTickVisibleMin()), LabelWidth(GetTickVisibleMax()));
}

int TZemDisplayAxis::GetMinLabelSpacing() {
    const int spacing = RunsVertically() ? LabelHeight() + 4 : LabelWidth(GetTickVisibleMax()) + 8;
    return std::max(spacing, 20);
}

void TZemDisplayAxis::ComputePreferredSize(int& width, int& height) const {
    TZemDisplayAxis& self = Self();
    width = std::max(self.LabelWidth(self.GetTickVisibleMin()),
                     self.LabelWidth(self.GetTickVisibleMax())) +
            16;
    height = LabelHeight() + 16;
    const TZemDisplayLabel* label = GetAxisLabel();
    if (label != nullptr && label->GetVisible()) {
        const int captionHeight = ZemTextHeight(*label->GetFont(), "Xg") + 4;
        width += captionHeight;
        height += captionHeight;
    }
}

int TZemDisplayAxis::GetLeadingMargin() const {
    TZemDisplayAxis& self = Self();
    if (RunsVertically()) {
        return LabelHeight() / 2 + 4;
    }
    const double value = MinAtLeadingEnd() ? self.GetTickVisibleMin() : self.GetTickVisibleMax();
    return self.LabelWidth(value) / 2 + 4;
}

int TZemDisplayAxis::GetTrailingMargin() const {
    TZemDisplayAxis& self = Self();
    if (RunsVertically()) {
        return LabelHeight() / 2 + 4;
    }
    const double value = MinAtLeadingEnd() ? self.GetTickVisibleMax() : self.GetTickVisibleMin();
    return self.LabelWidth(value) / 2 + 4;
}

// ---- ticks ---------------------------------------------------------------------------------

int TZemDisplayAxis::TickValueToPixel(double value) {
    int offset = 0;
    double scale = 1.0;
    GetMapping(GetTickVisibleMax(), GetTickVisibleMin(), offset, scale);
    const TZemRect dataRect = DataViewRect();
    const int farEdge = RunsVertically() ? dataRect.m_bottom : dataRect.m_right;
    return detail::ZemMapValue(detail::TZemAxisMapping{offset, scale}, farEdge, value,
                               IsLogarithmic());
}

void TZemDisplayAxis::WalkTicks(const std::function<void(const detail::TZemTickMark&)>& mark) {
    const double low = GetTickVisibleMin();
    const double high = GetTickVisibleMax();
    detail::TZemAxisMapping mapping;
    GetMapping(high, low, mapping.m_offset, mapping.m_scale);
    const TZemRect dataRect = DataViewRect();
    const bool vertical = RunsVertically();
    const int farEdge = vertical ? dataRect.m_bottom : dataRect.m_right;
    const bool logarithmic = IsLogarithmic();

    detail::TZemTickWalk walk;
    walk.m_low = low;
    walk.m_high = high;
    walk.m_step = GetMajorStep();
    walk.m_minDistance = GetMajorTicks()->GetMode() == mtmOverride ? 1 : GetLabelExtent();
    walk.m_minorCount = GetMinorTicks()->GetCount();
    walk.m_logarithmic = logarithmic;
    walk.m_spanBegin = vertical ? dataRect.m_top : dataRect.m_left;
    walk.m_spanEnd = vertical ? dataRect.m_bottom : dataRect.m_right;
    walk.m_pixelOf = [&mapping, farEdge, logarithmic](double value) {
        return detail::ZemMapValue(mapping, farEdge, value, logarithmic);
    };
    if (GetOnCustomStep()) {
        walk.m_customStep = [this](double value, double& step, bool& draw) {
            const double majorStep = step;
            GetOnCustomStep()(this, value, step, draw);
            if (step != majorStep) {
                step = AdjustCustomStep(step);
            }
        };
    }
    detail::ZemWalkTicks(walk, mark);
}

void TZemDisplayAxis::ForEachMajorTick(
    const std::function<void(int pixel, bool isZero)>& callback) {
    WalkTicks([&callback](const detail::TZemTickMark& mark) {
        if (mark.m_major) {
            callback(mark.m_pixel, mark.m_isZero);
        }
    });
}

// ---- drawing -----------------------------------------------------------------------------------

bool TZemDisplayAxis::ToolBarShows() const {
    return m_toolBar != nullptr && m_toolBar->GetVisible() &&
           (!m_toolBar->GetAutoHide() || IsMouseInside() || IsDesigning());
}

void TZemDisplayAxis::DrawTrackMark(TZemCanvas& canvas) {
    if (!GetTrackCursor() || IsDesigning() || !IsTrackActive() || m_display == nullptr) {
        return;
    }
    const int mouseX = m_display->GetMouseX();
    const int mouseY = m_display->GetMouseY();
    if (!DataViewRect().Contains(mouseX, mouseY)) {
        return;
    }
    int preferredWidth = 0;
    int preferredHeight = 0;
    GetPreferredSize(preferredWidth, preferredHeight);
    const TZemRect& rect = GetRect();
    canvas.SetPen(GetTrackColor());
    if (RunsVertically()) {
        canvas.MoveTo(rect.m_right - (preferredWidth - 1), mouseY);
        canvas.LineTo(rect.m_right - 4, mouseY);
    } else {
        canvas.MoveTo(mouseX, rect.m_top + 5);
        canvas.LineTo(mouseX, rect.m_top + preferredHeight - 1);
    }
}

void TZemDisplayAxis::DrawCaption(TZemCanvas& canvas) {
    const TZemDisplayLabel* label = GetAxisLabel();
    if (label == nullptr || !label->GetVisible()) {
        return;
    }
    const std::string caption = GetCaption();
    if (caption.empty()) {
        return;
    }
    canvas.SetFont(ZemFontDescOf(*label->GetFont()));
    const int width = canvas.TextWidth(caption);
    const TZemRect& rect = GetRect();
    if (RunsVertically()) {
        // Rotated text runs upward from its start point.
        const TZemRect dataRect = DataViewRect();
        const int centre = dataRect.m_top + (dataRect.m_bottom - dataRect.m_top) / 2;
        canvas.TextOutRotated90(rect.m_left + 2, centre + width / 2, caption);
    } else {
        const int displayWidth = m_display != nullptr ? m_display->GetDrawWidth() : 0;
        canvas.TextOut((displayWidth - width) / 2, rect.m_top + LabelHeight() + 16, caption);
    }
}

void TZemDisplayAxis::DrawView(const TZemDrawArgs& args) {
    if (args.m_canvas == nullptr) {
        return;
    }
    TZemCanvas& canvas = *args.m_canvas;
    if (!args.m_exporting) {
        DrawTrackMark(canvas);
    }
    const TZemRect& rect = GetRect();
    const TZemRect dataRect = DataViewRect();
    const bool vertical = RunsVertically();

    canvas.SetPen(m_color);
    canvas.SetBrush(0, zbsClear);
    canvas.SetFont(ZemFontDescOf(*m_font));
    if (vertical) {
        canvas.MoveTo(rect.m_right - 5, dataRect.m_top);
        canvas.LineTo(rect.m_right - 5, dataRect.m_bottom);
    } else {
        canvas.MoveTo(dataRect.m_left, rect.m_top + 5);
        canvas.LineTo(dataRect.m_right, rect.m_top + 5);
    }

    // Vertical labels are raised by half their height so they centre on their tick. The tick
    // callback captures one pointer, so the walk allocates nothing per frame.
    struct TTicks {
        TZemDisplayAxis* m_axis;
        TZemCanvas* m_canvas;
        TZemRect m_rect;
        bool m_vertical;
        int m_halfLabel;
        void Mark(const detail::TZemTickMark& mark) {
            TZemCanvas& canvas = *m_canvas;
            const int pixel = mark.m_pixel;
            if (!mark.m_major) {
                if (m_vertical) {
                    canvas.MoveTo(m_rect.m_right - 9, pixel);
                    canvas.LineTo(m_rect.m_right - 5, pixel);
                } else {
                    canvas.MoveTo(pixel, m_rect.m_top + 5);
                    canvas.LineTo(pixel, m_rect.m_top + 10);
                }
                return;
            }
            const std::string text = m_axis->FormatLabel(mark.m_value);
            const int width = canvas.TextWidth(text);
            if (m_vertical) {
                canvas.MoveTo(m_rect.m_right - 11, pixel);
                canvas.LineTo(m_rect.m_right - 5, pixel);
                canvas.TextOut(m_rect.m_right - 14 - width, pixel - m_halfLabel, text);
            } else {
                canvas.MoveTo(pixel, m_rect.m_top + 5);
                canvas.LineTo(pixel, m_rect.m_top + 12);
                canvas.TextOut(pixel - width / 2, m_rect.m_top + 14, text);
            }
        }
    };
    TTicks ticks{this, &canvas, rect, vertical, LabelHeight() / 2};
    TTicks* state = &ticks;
    WalkTicks([state](const detail::TZemTickMark& mark) { state->Mark(mark); });

    DrawCaption(canvas);

    if (!args.m_exporting && ToolBarShows()) {
        m_toolBar->Draw(canvas);
    }
}

// ---- pointer and zoom --------------------------------------------------------------------------

void TZemDisplayAxis::MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                                int y) {
    TZemTrackingOptionalAxis::MouseDown(button, shift, inside, x, y);
    m_toolBarTookPress = PressToolBar(button, inside, x, y);
}

bool TZemDisplayAxis::PressToolBar(TZemMouseButton button, bool inside, int x, int y) {
    return inside && ToolBarShows() && m_toolBar->MouseDown(button, x, y);
}

void TZemDisplayAxis::MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                              int y) {
    TZemTrackingOptionalAxis::MouseUp(button, shift, inside, x, y);
    if (m_toolBar != nullptr) {
        m_toolBar->MouseUp();
    }
}

void TZemDisplayAxis::WheelDown(TZemShiftState /*shift*/, int x, int y) {
    if (m_display != nullptr) {
        double factorY = 1.0;
        double factorX = 1.0;
        AxisZoomFactors(1.1, factorY, factorX);
        m_display->ZoomAtPoint(x, y, factorY, factorX);
    }
}

void TZemDisplayAxis::WheelUp(TZemShiftState /*shift*/, int x, int y) {
    if (m_display != nullptr) {
        double factorY = 1.0;
        double factorX = 1.0;
        AxisZoomFactors(0.9, factorY, factorX);
        m_display->ZoomAtPoint(x, y, factorY, factorX);
    }
}

void TZemDisplayAxis::PointerMoved(int x, int y) {
    const bool moved = RunsVertically() ? y != m_lastPointerY : x != m_lastPointerX;
    m_lastPointerX = x;
    m_lastPointerY = y;
    if (moved && GetTrackCursor() && IsTrackActive() && m_display != nullptr) {
        Invalidate();
    }
}

// ---- TZemDisplayYAxis --------------------------------------------------------------------------

TZemDisplayYAxis::TZemDisplayYAxis(TZemDataDisplay* display)
    : TZemDisplayAxis(display),
      m_axisLabel(std::make_unique<TZemDisplayLabel>([this] { SettingsChanged(); }, -13, true)) {
}

TZemDisplayYAxis::~TZemDisplayYAxis() = default;

const TVokClassInfo& TZemDisplayYAxis::ClassInfo() {
    using T = TZemDisplayYAxis;
    static const TVokClassInfo info("TZemDisplayYAxis", &TZemDisplayAxis::ClassInfo(), nullptr,
                                    {TVokProp::Object("AxisLabel", &T::GetAxisLabel)});
    return info;
}

TZemViewAlignment TZemDisplayYAxis::GetAlignment() const {
    return m_display != nullptr && m_display->IsVertical() ? zvaBottom : zvaLeft;
}

bool TZemDisplayYAxis::RunsVertically() const {
    return m_display == nullptr || !m_display->IsVertical();
}

void TZemDisplayYAxis::GetMapping(double first, double second, int& offset, double& scale) {
    const detail::TZemAxisMapping mapping = detail::ZemAxisMapping(
        first, second, GetAxisLength() - 1, true, GetReversed(), IsLogarithmic());
    offset = mapping.m_offset;
    scale = mapping.m_scale;
}

std::string TZemDisplayYAxis::GetCaption() {
    return m_axisLabel->GetText();
}

bool TZemDisplayYAxis::MinAtLeadingEnd() const {
    // Not reversed, the minimum is at the bottom (vertical) or the right end (horizontal).
    return GetReversed();
}

void TZemDisplayYAxis::AxisZoomFactors(double factor, double& factorY, double& factorX) const {
    factorY = factor;
    factorX = 1.0;
}

void TZemDisplayYAxis::ZoomAxisIn() {
    if (m_display != nullptr) {
        m_display->ZoomByFactors(true, 0.5, 1.0);
    }
}

void TZemDisplayYAxis::ZoomAxisOut() {
    if (m_display != nullptr) {
        m_display->ZoomByFactors(true, 2.0, 1.0);
    }
}

// ---- TZemDisplayXAxis --------------------------------------------------------------------------

TZemDisplayXAxis::TZemDisplayXAxis(TZemDataDisplay* display)
    : TZemDisplayAxis(display),
      m_axisLabel(std::make_unique<TZemDisplayLabel>([this] { SettingsChanged(); }, -13, true)) {
}

TZemDisplayXAxis::~TZemDisplayXAxis() = default;

const TVokClassInfo& TZemDisplayXAxis::ClassInfo() {
    using T = TZemDisplayXAxis;
    static const TVokClassInfo info("TZemDisplayXAxis", &TZemDisplayAxis::ClassInfo(), nullptr,
                                    {TVokProp::Object("AxisLabel", &T::GetAxisLabel)});
    return info;
}

TZemViewAlignment TZemDisplayXAxis::GetAlignment() const {
    return m_display != nullptr && m_display->IsVertical() ? zvaLeft : zvaBottom;
}

bool TZemDisplayXAxis::RunsVertically() const {
    return m_display != nullptr && m_display->IsVertical();
}

void TZemDisplayXAxis::GetMapping(double first, double second, int& offset, double& scale) {
    const detail::TZemAxisMapping mapping = detail::ZemAxisMapping(
        first, second, GetAxisLength(), false, GetReversed(), IsLogarithmic());
    offset = mapping.m_offset;
    scale = mapping.m_scale;
}

std::string TZemDisplayXAxis::GetCaption() {
    const std::string& text = m_axisLabel->GetText();
    return text.empty() ? std::string("X Axis") : text;
}

bool TZemDisplayXAxis::MinAtLeadingEnd() const {
    return !GetReversed();
}

void TZemDisplayXAxis::AxisZoomFactors(double factor, double& factorY, double& factorX) const {
    factorY = 1.0;
    factorX = factor;
}

void TZemDisplayXAxis::ZoomAxisIn() {
    if (m_display != nullptr) {
        m_display->ZoomByFactors(true, 1.0, 0.5);
    }
}

void TZemDisplayXAxis::ZoomAxisOut() {
    if (m_display != nullptr) {
        m_display->ZoomByFactors(true, 1.0, 2.0);
    }
}

void TZemDisplayXAxis::SetSampleCount(int count) {
    count = std::max(count, 0);
    if (count != m_sampleCount) {
        m_sampleCount = count;
        InvalidateValues();
        SettingsChanged();
    }
}
