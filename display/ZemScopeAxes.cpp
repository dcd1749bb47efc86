#include "display/ZemScopeAxes.h"

#include "display/ZemDataChart.h"
#include "pins/VokFiler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace detail {

TZemXAxisDataKind ZemXAxisDataKind(TZemDisplayAxisTicksMode mode, bool hasSpectrum,
                                   bool hasIntensity) {
    switch (mode) {
    case atmTime:
        return xdkTime;
    case atmFrequency:
        return xdkFrequency;
    case atmIntensity:
        return xdkIntensity;
    case atmAuto:
        if (hasSpectrum) {
            return xdkFrequency;
        }
        return hasIntensity ? xdkIntensity : xdkSamples;
    case atmBufferSamples:
    case atmManual:
        break;
    }
    return xdkSamples;
}

int ZemXUnitExponent(TZemXAxisDataKind kind, double sampleRate, int sampleCount) {
    double decades = 0.0;
    if (kind == xdkTime && sampleCount > 0) {
        decades = std::log10(sampleRate / sampleCount * 1000.0);
    } else if (kind == xdkFrequency) {
        decades = std::log10(sampleRate);
    } else {
        return 0;
    }
    if (!(sampleRate > 0.0) || !std::isfinite(decades)) {
        return 0;
    }
    // Doubles span about ±308 decades; beyond that no unit makes a difference.
    return 3 * std::clamp(ZemTrunc(decades / 3.0), -103, 103);
}

std::string ZemXAxisCaption(TZemXAxisDataKind kind, int exponent) {
    switch (kind) {
    case xdkTime:
        switch (exponent) {
        case 0:
            return "Sec";
        case 3:
            return "mSec";
        case 6:
            return "uSec";
        case 9:
            return "nSec";
        default:
            return "Sec (E" + std::to_string(-exponent) + ")";
        }
    case xdkFrequency:
        switch (exponent) {
        case -9:
            return "nHz";
        case -6:
            return "uHz";
        case -3:
            return "mHz";
        case 0:
            return "Hz";
        case 3:
            return "kHz";
        case 6:
            return "MHz";
        case 9:
            return "GHz";
        default:
            return "Hz (E" + std::to_string(-exponent) + ")";
        }
    case xdkIntensity:
        return "Intensity";
    case xdkSamples:
        break;
    }
    return "Samples";
}

int ZemScopeLabelDigits(int precision, bool fixedPrecision, double range) {
    constexpr int kMaxDigits = 400;
    if (fixedPrecision) {
        return std::clamp(precision, 0, kMaxDigits);
    }
    if (precision <= 0 || std::isnan(range)) {
        return 0;
    }
    const double span = std::fabs(range);
    double digits = 0.0;
    if (span != 0.0) {
        digits = precision - (std::trunc(std::log10(span)) + 1.0);
    }
    if (span < 1.0) {
        digits += 1.0;
    }
    // An infinite span gives −∞ digits, which the clamp turns into 0.
    return static_cast<int>(std::clamp(digits, 0.0, static_cast<double>(kMaxDigits)));
}

std::string ZemFormatScopeLabel(double value, int precision, bool fixedPrecision, double range) {
    std::string text = ZemFormatFixed(value, ZemScopeLabelDigits(precision, fixedPrecision, range));
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    const size_t exponent = text.find('E');
    if (fixedPrecision && exponent != std::string::npos) {
        const size_t point = text.find('.');
        if (point != std::string::npos && point < exponent) {
            const size_t keep = std::min(exponent, point + 1 + static_cast<size_t>(precision));
            text.erase(keep, exponent - keep);
        }
        for (size_t at = text.find('E'); at != std::string::npos; at = text.find('E', at + 1)) {
            while (at + 1 < text.size() && text[at + 1] == '0') {
                text.erase(at + 1, 1);
            }
        }
    }
    return text;
}

double ZemReadFormNumber(TVokReader& reader, const char* property) {
    const TVokFormValueKind kind = reader.NextValue();
    if (kind == fvInteger) {
        return static_cast<double>(reader.ReadInteger());
    }
    const std::string description = reader.DescribeNext();
    if (kind == fvFloat) {
        // The reader offers floats only through their description ("float 520.0"), which holds
        // the number as written; from_chars reads it without regard to the process locale.
        const size_t blank = description.find(' ');
        const char* begin = description.data() + (blank == std::string::npos ? 0 : blank + 1);
        const char* end = description.data() + description.size();
        double value = 0.0;
        const auto result = std::from_chars(begin, end, value);
        if (result.ec == std::errc() && result.ptr == end && std::isfinite(value)) {
            reader.SkipValue();
            return value;
        }
    }
    reader.Error("found " + description + ", expected a finite number in " + property);
}

void ZemRequireFinite(double value, const char* name) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument(std::string(name) + " " + std::to_string(value) +
                                    " is not a finite number");
    }
}

} // namespace detail

namespace {

bool StartDrag(detail::TZemAxisDrag& drag, TZemDisplayAxis& axis, const TZemDataChart* chart,
               TZemMouseButton button, bool inside, int x, int y) {
    if (button != mbLeft || !inside || chart == nullptr || !chart->IsZoomed()) {
        return false;
    }
    drag = detail::TZemAxisDrag{true, x, y, axis.GetVisibleMin(), axis.GetVisibleMax()};
    return true;
}

/// How far the dragged window moved, in axis values, for a pointer at (x, y): the visible span
/// times the pixel distance along the axis over the axis extent.
double DragShift(const detail::TZemAxisDrag& drag, TZemDisplayAxis& axis, int x, int y) {
    const int extent = axis.GetAxisLength();
    if (extent <= 0) {
        return 0.0;
    }
    const int64_t delta =
        axis.RunsVertically() ? int64_t{y} - drag.m_startY : int64_t{x} - drag.m_startX;
    return (drag.m_startMax - drag.m_startMin) * static_cast<double>(delta) / extent;
}

/// After a pan step: repaint and tell `OnZoomChanged` (zoZoom) the new visible ranges, as the
/// display does for its own zoom operations.
void PanApplied(TZemDataChart* chart) {
    chart->InvalidateAxisValues();
    chart->InvalidateLayout();
    if (const TZemZoomChangedEvent& handler = chart->GetOnZoomChanged()) {
        TZemRealRanges ranges;
        ranges.m_min = TZemRealPoint{chart->GetVisibleXMin(), chart->GetVisibleYMin()};
        ranges.m_max = TZemRealPoint{chart->GetVisibleXMax(), chart->GetVisibleYMax()};
        handler(chart, zoZoom, ranges);
    }
}

/// The zoom range rule shared by both scope axes.
bool NormaliseZoomRange(double a, double b, double& minimum, double& maximum) {
    if (!std::isfinite(a) || !std::isfinite(b)) {
        return false;
    }
    minimum = std::min(a, b);
    maximum = std::max(a, b);
    if (maximum - minimum < 0.0001) {
        maximum = minimum + 0.0001;
    }
    return true;
}

} // namespace

// ---- autoscaling settings ----------------------------------------------------------------------

const TVokClassInfo& TZemScopeAutoScalingSpace::ClassInfo() {
    using T = TZemScopeAutoScalingSpace;
    static const TVokClassInfo info(
        "TZemScopeAutoScalingSpace", nullptr, nullptr,
        {
            TVokProp::Integer("Space", &T::GetSpace, &T::SetSpace, 20),
            TVokProp::Integer("Threshold", &T::GetThreshold, &T::SetThreshold, 10),
        });
    return info;
}

void TZemScopeAutoScalingSpace::SetSpace(uint32_t value) {
    if (value != m_space) {
        m_space = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

void TZemScopeAutoScalingSpace::SetThreshold(uint32_t value) {
    if (value != m_threshold) {
        m_threshold = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

TZemScopeAutoScaling::TZemScopeAutoScaling(std::function<void()> onChange)
    : m_onChange(std::move(onChange)),
      m_spaceAbove(std::make_unique<TZemScopeAutoScalingSpace>([this] { Changed(); })),
      m_spaceBelow(std::make_unique<TZemScopeAutoScalingSpace>([this] { Changed(); })),
      m_minima(m_maxHistory), m_maxima(m_maxHistory) {
}

TZemScopeAutoScaling::~TZemScopeAutoScaling() = default;

const TVokClassInfo& TZemScopeAutoScaling::ClassInfo() {
    using T = TZemScopeAutoScaling;
    static const TVokClassInfo info(
        "TZemScopeAutoScaling", nullptr, nullptr,
        {
            TVokProp::Bool("Enabled", &T::GetEnabled, &T::SetEnabled, true),
            TVokProp::Object("SpaceAbove", &T::GetSpaceAbove),
            TVokProp::Object("SpaceBelow", &T::GetSpaceBelow),
            TVokProp::Integer("MaxHistory", &T::GetMaxHistory, &T::SetMaxHistory, 20),
        });
    return info;
}

void TZemScopeAutoScaling::Changed() {
    if (m_onChange) {
        m_onChange();
    }
}

void TZemScopeAutoScaling::SetEnabled(bool value) {
    if (value != m_enabled) {
        m_enabled = value;
        Changed();
    }
}

void TZemScopeAutoScaling::SetMaxHistory(uint32_t value) {
    if (value > kMaxHistoryLimit) {
        throw std::invalid_argument("AutoScaling MaxHistory " + std::to_string(value) +
                                    " is too large: expected at most " +
                                    std::to_string(kMaxHistoryLimit));
    }
    if (value != m_maxHistory) {
        m_maxHistory = value;
        m_minima.assign(value, 0.0);
        m_maxima.assign(value, 0.0);
        ClearHistory();
        Changed();
    }
}

void TZemScopeAutoScaling::PushHistory(double minimum, double maximum) {
    if (m_maxHistory == 0) {
        return;
    }
    if (m_writeIndex >= m_maxHistory) {
        m_writeIndex = 0;
    }
    m_minima[m_writeIndex] = minimum;
    m_maxima[m_writeIndex] = maximum;
    ++m_writeIndex;
    m_fillCount = std::min(m_fillCount + 1, m_maxHistory);
}

void TZemScopeAutoScaling::ClearHistory() {
    m_writeIndex = 0;
    m_fillCount = 0;
}

TZemRealRange TZemScopeAutoScaling::ComputeRange(double dataMin, double dataMax) {
    double lower = dataMin;
    double upper = dataMax;
    if (m_maxHistory > 0 && m_fillCount > 0) {
        lower = *std::min_element(m_minima.begin(), m_minima.begin() + m_fillCount);
        upper = *std::max_element(m_maxima.begin(), m_maxima.begin() + m_fillCount);
    }

    const double spaceBelow = m_spaceBelow->GetSpace();
    const double thresholdBelow = m_spaceBelow->GetThreshold();
    if (spaceBelow != 0.0) {
        lower -= (dataMax - lower) * spaceBelow / 200.0;
    }
    // The range shrinks only by more than half the threshold percentage of the range.
    if (thresholdBelow != 0.0 && m_hasLastLower && m_lastLower < lower &&
        lower < m_lastLower + (dataMax - lower) * thresholdBelow / 200.0) {
        lower = m_lastLower;
    }

    const double spaceAbove = m_spaceAbove->GetSpace();
    const double thresholdAbove = m_spaceAbove->GetThreshold();
    if (spaceAbove != 0.0) {
        upper += (upper - dataMin) * spaceAbove / 200.0;
    }
    if (thresholdAbove != 0.0 && m_hasLastUpper && m_lastUpper > upper &&
        upper > m_lastUpper - (upper - dataMin) * thresholdAbove / 200.0) {
        upper = m_lastUpper;
    }

    // Limits beyond doubles are not remembered: the axis falls back to its fixed range then.
    if (std::isfinite(lower)) {
        m_lastLower = lower;
        m_hasLastLower = true;
    }
    if (std::isfinite(upper)) {
        m_lastUpper = upper;
        m_hasLastUpper = true;
    }
    return TZemRealRange{lower, upper};
}

const TVokClassInfo& TZemDisplayAxisCursorSettings::ClassInfo() {
    using T = TZemDisplayAxisCursorSettings;
    static const TVokClassInfo info(
        "TZemDisplayAxisCursorSettings", nullptr, nullptr,
        {TVokProp::Bool("SnapToSample", &T::GetSnapToSample, &T::SetSnapToSample, false)});
    return info;
}

void TZemDisplayAxisCursorSettings::SetSnapToSample(bool value) {
    if (value != m_snapToSample) {
        m_snapToSample = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

// ---- X range settings --------------------------------------------------------------------------

const TVokClassInfo& TZemBasicScopeAxisValue::ClassInfo() {
    using T = TZemBasicScopeAxisValue;
    static const TVokClassInfo info(
        "TZemBasicScopeAxisValue", nullptr, nullptr,
        {
            TVokProp::Bool("AutoScale", &T::GetAutoScale, &T::SetAutoScale, true),
            TVokProp::Float("Value", &T::GetValue, &T::SetValue, 0.0),
        });
    return info;
}

void TZemBasicScopeAxisValue::SetAutoScale(bool value) {
    if (value != m_autoScale) {
        m_autoScale = value;
        Changed();
    }
}

void TZemBasicScopeAxisValue::SetValue(double value) {
    detail::ZemRequireFinite(value, "XAxis range Value");
    if (value != m_value) {
        m_value = value;
        Changed();
    }
}

const TVokClassInfo& TZemMaxScopeTickValue::ClassInfo() {
    using T = TZemBasicScopeAxisValue;
    static const TVokClassInfo info("TZemMaxScopeTickValue", &TZemBasicScopeAxisValue::ClassInfo(),
                                    nullptr,
                                    {TVokProp::Float("Value", &T::GetValue, &T::SetValue, 1024.0)});
    return info;
}

TZemScopeAxisValue::TZemScopeAxisValue(std::function<void()> onChange, double value)
    : TZemScopeAxisValue(onChange, value,
                         std::make_unique<TZemBasicScopeAxisValue>(onChange, value)) {
}

TZemScopeAxisValue::TZemScopeAxisValue(std::function<void()> onChange, double value,
                                       std::unique_ptr<TZemBasicScopeAxisValue> tick)
    : TZemBasicScopeAxisValue(std::move(onChange), value), m_tick(std::move(tick)) {
}

TZemScopeAxisValue::~TZemScopeAxisValue() = default;

const TVokClassInfo& TZemScopeAxisValue::ClassInfo() {
    using T = TZemScopeAxisValue;
    static const TVokClassInfo info("TZemScopeAxisValue", &TZemBasicScopeAxisValue::ClassInfo(),
                                    nullptr, {TVokProp::Object("Tick", &T::GetTick)});
    return info;
}

TZemMaxScopeAxisValue::TZemMaxScopeAxisValue(std::function<void()> onChange)
    : TZemScopeAxisValue(onChange, 1024.0, std::make_unique<TZemMaxScopeTickValue>(onChange)) {
}

const TVokClassInfo& TZemMaxScopeAxisValue::ClassInfo() {
    using T = TZemMaxScopeAxisValue;
    using B = TZemBasicScopeAxisValue;
    static const TVokClassInfo info(
        "TZemMaxScopeAxisValue", &TZemScopeAxisValue::ClassInfo(), nullptr,
        {
            TVokProp::Float("Value", &B::GetValue, &B::SetValue, 1024.0),
            TVokProp::Enum("Mode", {"mamValue", "mamOffset"}, &T::GetMode, &T::SetMode, mamValue),
        });
    return info;
}

void TZemMaxScopeAxisValue::SetMode(TZemMaxAxisMode value) {
    if (value > mamOffset) {
        throw std::invalid_argument("XAxis Max Mode " + std::to_string(static_cast<int>(value)) +
                                    " is out of range: expected mamValue or mamOffset");
    }
    if (value != m_mode) {
        m_mode = value;
        Changed();
    }
}

const TVokClassInfo& TZemScopeMaxSample::ClassInfo() {
    using T = TZemScopeMaxSample;
    static const TVokClassInfo info(
        "TZemScopeMaxSample", nullptr, nullptr,
        {
            TVokProp::Bool("Autosize", &T::GetAutosize, &T::SetAutosize, true),
            TVokProp::Integer("Value", &T::GetValue, &T::SetValue, 1024),
        });
    return info;
}

void TZemScopeMaxSample::SetAutosize(bool value) {
    if (value != m_autosize) {
        m_autosize = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

void TZemScopeMaxSample::SetValue(uint32_t value) {
    if (value != m_value) {
        m_value = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

const TVokClassInfo& TZemScopeXAxisUnitScale::ClassInfo() {
    using T = TZemScopeXAxisUnitScale;
    static const TVokClassInfo info(
        "TZemScopeXAxisUnitScale", nullptr, nullptr,
        {
            TVokProp::Bool("AutoScale", &T::GetAutoScale, &T::SetAutoScale, true),
            TVokProp::Integer("Exponent", &T::GetExponent, &T::SetExponent, 0),
        });
    return info;
}

void TZemScopeXAxisUnitScale::SetAutoScale(bool value) {
    if (value != m_autoScale) {
        m_autoScale = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

void TZemScopeXAxisUnitScale::SetExponent(int32_t value) {
    // 10^E must stay a finite, non-zero double.
    value = std::clamp(value, -300, 300);
    if (value != m_exponent) {
        m_exponent = value;
        if (m_onChange) {
            m_onChange();
        }
    }
}

// ---- TZemScopeYAxis ----------------------------------------------------------------------------

TZemScopeYAxis::TZemScopeYAxis(TZemDataChart* chart)
    : TZemDisplayYAxis(chart), m_autoScaling(std::make_unique<TZemScopeAutoScaling>([this] {
          InvalidateValues();
          SettingsChanged();
      })),
      m_cursorSettings(std::make_unique<TZemDisplayAxisCursorSettings>([this] {
          if (m_display != nullptr) {
              m_display->RedrawDisplay();
          }
      })) {
    GetAxisLabel()->SetText("Y Axis");
}

TZemScopeYAxis::~TZemScopeYAxis() = default;

const TVokClassInfo& TZemScopeYAxis::ClassInfo() {
    using T = TZemScopeYAxis;
    static const TVokClassInfo info(
        "TZemScopeYAxis", &TZemDisplayYAxis::ClassInfo(), nullptr,
        {
            TVokProp::Integer("Precision", &T::GetPrecision, &T::SetPrecision, 3),
            TVokProp::Bool("FixedPrecision", &T::GetFixedPrecision, &T::SetFixedPrecision, false),
            TVokProp::Object("AutoScaling", &T::GetAutoScaling),
            TVokProp::Object("CursorSettings", &T::GetCursorSettings),
            TVokProp::Bool("Logarithmic", &T::GetLogarithmic, &T::SetLogarithmic, false),
        });
    return info;
}

TZemDataChart* TZemScopeYAxis::Chart() const {
    return static_cast<TZemDataChart*>(m_display);
}

void TZemScopeYAxis::SetMin(double value) {
    detail::ZemRequireFinite(value, "YAxis Min");
    if (value != m_min) {
        m_min = value;
        InvalidateValues();
        SettingsChanged();
    }
}

void TZemScopeYAxis::SetMax(double value) {
    detail::ZemRequireFinite(value, "YAxis Max");
    if (value != m_max) {
        m_max = value;
        InvalidateValues();
        SettingsChanged();
    }
}

void TZemScopeYAxis::SetPrecision(int32_t value) {
    value = std::clamp(value, 0, 18);
    if (value != m_precision) {
        m_precision = value;
        SettingsChanged();
    }
}

void TZemScopeYAxis::SetFixedPrecision(bool value) {
    if (value != m_fixedPrecision) {
        m_fixedPrecision = value;
        SettingsChanged();
    }
}

void TZemScopeYAxis::SetLogarithmic(bool value) {
    if (value != m_logarithmic) {
        m_logarithmic = value;
        InvalidateValues();
        SettingsChanged();
    }
}

void TZemScopeYAxis::SettingsChanged() {
    InvalidateStep();
    TZemDisplayYAxis::SettingsChanged();
}

void TZemScopeYAxis::InvalidateValues() {
    TZemDisplayYAxis::InvalidateValues();
    m_dataRangeValid = false;
    m_visibleRangeValid = false;
}

void TZemScopeYAxis::UpdateDataRange() {
    if (m_dataRangeValid) {
        return;
    }
    m_dataRangeValid = true;
    m_dataRange = TZemRealRange{m_min, m_max};
    m_hasChannelData = false;
    TZemDataChart* chart = Chart();
    if (!m_autoScaling->GetEnabled() || chart == nullptr) {
        return;
    }
    int64_t first = 0;
    int64_t last = std::numeric_limits<int32_t>::max();
    if (TZemScopeXAxis* xAxis = chart->GetXAxis()) {
        first = xAxis->GetFirstVisibleSample();
        last = xAxis->GetLastVisibleSample();
    }
    double low = 0.0;
    double high = 0.0;
    if (chart->GetVisibleYRange(first, last, low, high) && std::isfinite(low) &&
        std::isfinite(high)) {
        if (low == high) {
            low -= 0.5;
            high += 0.5;
        }
        m_dataRange = TZemRealRange{std::min(low, high), std::max(low, high)};
        m_hasChannelData = true;
    }
}

void TZemScopeYAxis::UpdateVisibleRange() {
    if (m_visibleRangeValid) {
        return;
    }
    m_visibleRangeValid = true;
    const TZemDataChart* chart = Chart();
    if (chart != nullptr && chart->IsZoomed()) {
        m_visibleRange = TZemRealRange{m_zoomMin, m_zoomMax};
        return;
    }
    UpdateDataRange();
    TZemRealRange range = m_dataRange;
    if (m_autoScaling->GetEnabled() && m_hasChannelData) {
        range = m_autoScaling->ComputeRange(m_dataRange.m_min, m_dataRange.m_max);
    }
    // Extremes near the end of doubles give a span (or spaces) beyond doubles: show the fixed
    // range instead of a picture that cannot be mapped.
    if (!std::isfinite(range.m_max - range.m_min)) {
        range = TZemRealRange{m_min, m_max};
    }
    m_visibleRange = range;
}

double TZemScopeYAxis::ComputeDataMin() {
    UpdateDataRange();
    return m_dataRange.m_min;
}

double TZemScopeYAxis::ComputeDataMax() {
    UpdateDataRange();
    return m_dataRange.m_max;
}

double TZemScopeYAxis::ComputeVisibleMin() {
    UpdateVisibleRange();
    return m_visibleRange.m_min;
}

double TZemScopeYAxis::ComputeVisibleMax() {
    UpdateVisibleRange();
    return m_visibleRange.m_max;
}

namespace {

/// Zooms a scope axis by `factor` about the centre of its tick-visible range (factor < 1 zooms
/// in); a factor that is not finite changes nothing.
template <class TAxis> void ZoomScopeAxisByFactor(TAxis& axis, double factor) {
    if (!std::isfinite(factor)) {
        return;
    }
    const double low = axis.GetTickVisibleMin();
    const double high = axis.GetTickVisibleMax();
    const double range = high - low;
    const double delta = (range * factor - range) / 2.0;
    axis.SetZoomRange(low - delta, high + delta);
}

/// Zooms a scope axis to [first, second], saving the display's zoom state first when asked.
template <class TAxis>
void ZoomScopeAxisTo(TAxis& axis, TZemDataDisplay* display, bool saveHistory, double first,
                     double second) {
    if (saveHistory && display != nullptr) {
        display->SaveZoomState(false);
    }
    axis.SetZoomRange(first, second);
    if (display != nullptr) {
        display->RedrawDisplay();
    }
}

} // namespace

std::string TZemScopeYAxis::FormatValue(double value) {
    return detail::ZemFormatScopeLabel(value, m_precision, m_fixedPrecision,
                                       GetVisibleMax() - GetVisibleMin());
}

void TZemScopeYAxis::SetZoomRange(double a, double b) {
    if (NormaliseZoomRange(a, b, m_zoomMin, m_zoomMax)) {
        InvalidateValues();
    }
}

void TZemScopeYAxis::ZoomByFactor(double factor) {
    ZoomScopeAxisByFactor(*this, factor);
}

void TZemScopeYAxis::GetZoomRange(double& minimum, double& maximum) {
    minimum = m_zoomMin;
    maximum = m_zoomMax;
}

void TZemScopeYAxis::ZoomAxisTo(bool saveHistory, double first, double second) {
    ZoomScopeAxisTo(*this, m_display, saveHistory, first, second);
}

void TZemScopeYAxis::HistoryStep() {
    TZemDataChart* chart = Chart();
    if (m_autoScaling->GetMaxHistory() == 0 || chart == nullptr || !chart->HasVisibleData()) {
        return;
    }
    m_autoScaling->PushHistory(GetDataMin(), GetDataMax());
    m_visibleRangeValid = false;
    InvalidateValue(kVisibleMin);
    InvalidateValue(kVisibleMax);
    InvalidateValue(kTickVisibleMin);
    InvalidateValue(kTickVisibleMax);
}

void TZemScopeYAxis::ClearHistory() {
    m_autoScaling->ClearHistory();
    m_visibleRangeValid = false;
    InvalidateValue(kVisibleMin);
    InvalidateValue(kVisibleMax);
    InvalidateValue(kTickVisibleMin);
    InvalidateValue(kTickVisibleMax);
}

void TZemScopeYAxis::DefineProperties(TVokFiler& filer) {
    TZemDisplayYAxis::DefineProperties(filer);
    filer.DefineProperty(
        "MinMax",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            const double minimum = detail::ZemReadFormNumber(reader, "YAxis.MinMax");
            const double maximum = detail::ZemReadFormNumber(reader, "YAxis.MinMax");
            reader.ReadListEnd();
            m_min = minimum;
            m_max = maximum;
            InvalidateValues();
            SettingsChanged();
        },
        [this](TVokWriter& writer) {
            writer.WriteListBegin();
            writer.WriteFloat(m_min);
            writer.WriteFloat(m_max);
            writer.WriteListEnd();
        },
        true);
    filer.DefineProperty(
        "AutoScale", [this](TVokReader& reader) { m_autoScaling->SetEnabled(reader.ReadBool()); },
        [](TVokWriter&) {}, false);
}

void TZemScopeYAxis::MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                               int y) {
    TZemDisplayYAxis::MouseDown(button, shift, inside, x, y);
    if (!ToolBarTookPress()) {
        StartDrag(m_drag, *this, Chart(), button, inside, x, y);
    }
}

void TZemScopeYAxis::MouseMove(TZemShiftState shift, int x, int y) {
    TZemDisplayYAxis::MouseMove(shift, x, y);
    TZemDataChart* chart = Chart();
    if (!m_drag.m_active || chart == nullptr) {
        return;
    }
    // Pixels grow downwards (or leftwards for a vertical display) as values grow upwards.
    const double shiftValue = DragShift(m_drag, *this, x, y) * (GetReversed() ? -1.0 : 1.0);
    SetZoomRange(m_drag.m_startMin + shiftValue, m_drag.m_startMax + shiftValue);
    PanApplied(chart);
}

void TZemScopeYAxis::MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                             int y) {
    TZemDisplayYAxis::MouseUp(button, shift, inside, x, y);
    m_drag.m_active = false;
}

// ---- TZemScopeXAxis ----------------------------------------------------------------------------

TZemScopeXAxis::TZemScopeXAxis(TZemDataChart* chart)
    : TZemDisplayXAxis(chart),
      m_cursorSettings(std::make_unique<TZemDisplayAxisCursorSettings>([this] {
          if (m_display != nullptr) {
              m_display->RedrawDisplay();
          }
      })),
      m_minValue(std::make_unique<TZemScopeAxisValue>([this] { ValuesChanged(); }, 0.0)),
      m_maxValue(std::make_unique<TZemMaxScopeAxisValue>([this] { ValuesChanged(); })),
      m_maxSample(std::make_unique<TZemScopeMaxSample>([this] { ValuesChanged(); })),
      m_unitScale(std::make_unique<TZemScopeXAxisUnitScale>([this] { ValuesChanged(); })) {
}

TZemScopeXAxis::~TZemScopeXAxis() = default;

const TVokClassInfo& TZemScopeXAxis::ClassInfo() {
    using T = TZemScopeXAxis;
    static const TVokClassInfo info(
        "TZemScopeXAxis", &TZemDisplayXAxis::ClassInfo(), nullptr,
        {
            TVokProp::Integer("Precision", &T::GetPrecision, &T::SetPrecision, 3),
            TVokProp::Bool("FixedPrecision", &T::GetFixedPrecision, &T::SetFixedPrecision, false),
            TVokProp::Enum("TicksMode",
                           {"atmAuto", "atmBufferSamples", "atmFrequency", "atmIntensity",
                            "atmTime", "atmManual"},
                           &T::GetTicksMode, &T::SetTicksMode, atmAuto),
            TVokProp::Object("CursorSettings", &T::GetCursorSettings),
            TVokProp::Object("Min", &T::GetMin),
            TVokProp::Object("Max", &T::GetMax),
            TVokProp::Object("MaxSample", &T::GetMaxSample),
            TVokProp::Object("UnitScale", &T::GetUnitScale),
        });
    return info;
}

TZemDataChart* TZemScopeXAxis::Chart() const {
    return static_cast<TZemDataChart*>(m_display);
}

bool TZemScopeXAxis::IsZoomed() const {
    return m_display != nullptr && m_display->IsZoomed();
}

void TZemScopeXAxis::ValuesChanged() {
    InvalidateValues();
    InvalidateStep();
    if (TZemDataChart* chart = Chart()) {
        // The chart's time and frequency ends depend on the sample count and the unit.
        chart->InvalidateScales();
    }
    SettingsChanged();
}

void TZemScopeXAxis::SetPrecision(int32_t value) {
    value = std::clamp(value, 0, 18);
    if (value != m_precision) {
        m_precision = value;
        SettingsChanged();
    }
}

void TZemScopeXAxis::SetFixedPrecision(bool value) {
    if (value != m_fixedPrecision) {
        m_fixedPrecision = value;
        SettingsChanged();
    }
}

void TZemScopeXAxis::SetTicksMode(TZemDisplayAxisTicksMode value) {
    if (value > atmManual) {
        throw std::invalid_argument("XAxis TicksMode " + std::to_string(static_cast<int>(value)) +
                                    " is out of range: expected atmAuto … atmManual");
    }
    if (value != m_ticksMode) {
        m_ticksMode = value;
        ValuesChanged();
    }
}

detail::TZemXAxisDataKind TZemScopeXAxis::GetDataKind() {
    TZemDataChart* chart = Chart();
    const bool automatic = m_ticksMode == atmAuto && chart != nullptr;
    const bool spectrum = automatic && chart->HasSpectrumChannel();
    const bool intensity = automatic && !spectrum && chart->HasIntensityChannel();
    return detail::ZemXAxisDataKind(m_ticksMode, spectrum, intensity);
}

int TZemScopeXAxis::GetUnitExponent() {
    if (!m_unitScale->GetAutoScale()) {
        return m_unitScale->GetExponent();
    }
    TZemDataChart* chart = Chart();
    const double sampleRate = chart != nullptr ? chart->GetSampleRate() : 0.0;
    return detail::ZemXUnitExponent(GetDataKind(), sampleRate, GetSampleCount());
}

std::string TZemScopeXAxis::GetCaption() {
    const std::string& text = GetAxisLabel()->GetText();
    if (!text.empty()) {
        return text;
    }
    if (m_ticksMode == atmManual || (m_ticksMode == atmAuto && IsDesigning())) {
        return "X Axis";
    }
    return detail::ZemXAxisCaption(GetDataKind(), GetUnitExponent());
}

void TZemScopeXAxis::SetSampleCount(int count) {
    const int reported = count > 0 ? count : 1024;
    if (reported == m_sampleCount) {
        return;
    }
    const int before = GetSampleCount();
    m_sampleCount = reported;
    if (GetSampleCount() != before) {
        InvalidateValues();
        if (TZemDataChart* chart = Chart()) {
            chart->InvalidateTimeScale();
        }
        SettingsChanged();
    }
}

int TZemScopeXAxis::GetSampleCount() const {
    if (m_maxSample->GetAutosize()) {
        return m_sampleCount;
    }
    return static_cast<int>(
        std::min<uint32_t>(m_maxSample->GetValue(), std::numeric_limits<int32_t>::max()));
}

double TZemScopeXAxis::AutoDataMin() {
    const detail::TZemXAxisDataKind kind = GetDataKind();
    if (kind == detail::xdkTime || kind == detail::xdkFrequency) {
        return 0.0;
    }
    TZemDataChart* chart = Chart();
    if (GetSampleCount() > 1 && chart != nullptr) {
        return chart->GetDataXMin();
    }
    return m_minValue->GetValue();
}

double TZemScopeXAxis::AutoDataMax() {
    TZemDataChart* chart = Chart();
    const detail::TZemXAxisDataKind kind = GetDataKind();
    if (chart != nullptr && kind == detail::xdkTime) {
        return chart->GetTimeMax();
    }
    if (chart != nullptr && kind == detail::xdkFrequency) {
        return chart->GetFrequencyMax();
    }
    const int count = GetSampleCount();
    if (count > 1 && chart != nullptr) {
        return chart->GetDataXMax();
    }
    if (m_maxValue->GetValue() <= m_minValue->GetValue()) {
        return m_minValue->GetValue() + count - 1.0;
    }
    return m_maxValue->GetValue();
}

double TZemScopeXAxis::ComputeDataMin() {
    return m_minValue->GetAutoScale() ? AutoDataMin() : m_minValue->GetValue();
}

double TZemScopeXAxis::ComputeDataMax() {
    if (m_maxValue->GetAutoScale()) {
        return AutoDataMax();
    }
    if (m_maxValue->GetMode() == mamOffset) {
        return GetDataMin() + m_maxValue->GetValue();
    }
    return m_maxValue->GetValue();
}

double TZemScopeXAxis::ComputeVisibleMin() {
    const double dataMin = GetDataMin();
    if (!IsZoomed()) {
        return dataMin;
    }
    const double dataMax = GetDataMax();
    return std::clamp(m_zoomMin, std::min(dataMin, dataMax), std::max(dataMin, dataMax));
}

double TZemScopeXAxis::ComputeVisibleMax() {
    const double dataMax = GetDataMax();
    if (!IsZoomed()) {
        return dataMax;
    }
    const double dataMin = GetDataMin();
    return std::clamp(m_zoomMax, std::min(dataMin, dataMax), std::max(dataMin, dataMax));
}

double TZemScopeXAxis::ComputeTickMin() {
    const TZemBasicScopeAxisValue* tick = m_minValue->GetTick();
    if (m_ticksMode == atmManual || !tick->GetAutoScale()) {
        return tick->GetValue();
    }
    return GetDataMin();
}

double TZemScopeXAxis::ComputeTickMax() {
    const TZemBasicScopeAxisValue* tick = m_maxValue->GetTick();
    if (m_ticksMode == atmManual || !tick->GetAutoScale()) {
        return tick->GetValue();
    }
    if (m_maxValue->GetAutoScale()) {
        return GetDataMax();
    }
    if (m_maxValue->GetMode() == mamOffset) {
        return GetTickMin() + m_maxValue->GetValue();
    }
    return m_maxValue->GetValue();
}

double TZemScopeXAxis::ComputeUnitMin() {
    const TZemBasicScopeAxisValue* tick = m_minValue->GetTick();
    if (m_ticksMode == atmManual || !tick->GetAutoScale()) {
        return tick->GetValue();
    }
    return AutoDataMin();
}

double TZemScopeXAxis::ComputeUnitMax() {
    const TZemBasicScopeAxisValue* tick = m_maxValue->GetTick();
    if (m_ticksMode == atmManual || !tick->GetAutoScale()) {
        return tick->GetValue();
    }
    return AutoDataMax();
}

double TZemScopeXAxis::TickVisible(bool maximum) {
    // The tick ends first: a moved tick minimum moves the zoom range, so the visible value read
    // afterwards is the moved one.
    const double tickSpan = GetTickMax() - GetTickMin();
    const double dataMin = GetDataMin();
    const double dataMax = GetDataMax();
    if (dataMin == dataMax) {
        return maximum ? GetVisibleMax() + 1.0 : GetVisibleMin() - 1.0;
    }
    const double visible = maximum ? GetVisibleMax() : GetVisibleMin();
    return tickSpan * visible / (dataMax - dataMin);
}

double TZemScopeXAxis::ComputeTickVisibleMin() {
    return TickVisible(false);
}

double TZemScopeXAxis::ComputeTickVisibleMax() {
    return TickVisible(true);
}

void TZemScopeXAxis::TickMinMoved(double delta) {
    if (!IsZoomed()) {
        return;
    }
    m_zoomMin += delta;
    m_zoomMax += delta;
    InvalidateValue(kVisibleMin);
    InvalidateValue(kVisibleMax);
    InvalidateValue(kTickVisibleMin);
    InvalidateValue(kTickVisibleMax);
}

std::string TZemScopeXAxis::FormatValue(double value) {
    return detail::ZemFormatScopeLabel(value, m_precision, m_fixedPrecision,
                                       GetTickVisibleMax() - GetTickVisibleMin());
}

int TZemScopeXAxis::VisibleSample(double zoomValue, bool autoScale, double value, int autoResult) {
    const int count = GetSampleCount();
    double sample = 0.0;
    if (IsZoomed()) {
        sample = count * zoomValue / (GetDataMax() - GetDataMin());
    } else if (autoScale) {
        return autoResult;
    } else {
        const double low = GetVisibleMin();
        const double high = GetVisibleMax();
        const double clamped = std::clamp(value, std::min(low, high), std::max(low, high));
        sample = count * clamped / (high - low);
    }
    // A zero span gives ±∞ or NaN, which the rounding and the clamp turn into a sample index.
    return std::clamp(ZemRound(sample), 0, count);
}

int TZemScopeXAxis::GetFirstVisibleSample() {
    return VisibleSample(m_zoomMin, m_minValue->GetAutoScale(), m_minValue->GetValue(), 0);
}

int TZemScopeXAxis::GetLastVisibleSample() {
    return VisibleSample(m_zoomMax, m_maxValue->GetAutoScale(), m_maxValue->GetValue(),
                         GetSampleCount());
}

void TZemScopeXAxis::SetZoomRange(double a, double b) {
    if (NormaliseZoomRange(a, b, m_zoomMin, m_zoomMax)) {
        InvalidateValues();
    }
}

void TZemScopeXAxis::ZoomByFactor(double factor) {
    ZoomScopeAxisByFactor(*this, factor);
}

void TZemScopeXAxis::GetZoomRange(double& minimum, double& maximum) {
    minimum = m_zoomMin;
    maximum = m_zoomMax;
}

void TZemScopeXAxis::ZoomAxisTo(bool saveHistory, double first, double second) {
    ZoomScopeAxisTo(*this, m_display, saveHistory, first, second);
}

void TZemScopeXAxis::DefineProperties(TVokFiler& filer) {
    TZemDisplayXAxis::DefineProperties(filer);
    const auto noWriter = [](TVokWriter&) {};
    filer.DefineProperty(
        "MinMax",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            const double minimum = detail::ZemReadFormNumber(reader, "XAxis.MinMax");
            const double maximum = detail::ZemReadFormNumber(reader, "XAxis.MinMax");
            reader.ReadListEnd();
            m_minValue->GetTick()->SetValue(minimum);
            m_maxValue->GetTick()->SetValue(maximum);
        },
        noWriter, false);
    filer.DefineProperty(
        "MinMaxScale",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            const double minimum = detail::ZemReadFormNumber(reader, "XAxis.MinMaxScale");
            const double maximum = detail::ZemReadFormNumber(reader, "XAxis.MinMaxScale");
            reader.ReadListEnd();
            m_minValue->SetValue(minimum);
            m_maxValue->SetValue(maximum);
        },
        noWriter, false);
    filer.DefineProperty(
        "AutoScale",
        [this](TVokReader& reader) {
            const bool value = reader.ReadBool();
            m_minValue->SetAutoScale(value);
            m_maxValue->SetAutoScale(value);
        },
        noWriter, false);
}

void TZemScopeXAxis::MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                               int y) {
    TZemDisplayXAxis::MouseDown(button, shift, inside, x, y);
    if (!ToolBarTookPress()) {
        StartDrag(m_drag, *this, Chart(), button, inside, x, y);
    }
}

void TZemScopeXAxis::MouseMove(TZemShiftState shift, int x, int y) {
    TZemDisplayXAxis::MouseMove(shift, x, y);
    TZemDataChart* chart = Chart();
    if (!m_drag.m_active || chart == nullptr) {
        return;
    }
    // Values grow with the pixels, so the window moves against the pointer.
    const double shiftValue = DragShift(m_drag, *this, x, y) * (GetReversed() ? 1.0 : -1.0);
    double low = m_drag.m_startMin + shiftValue;
    double high = m_drag.m_startMax + shiftValue;
    const double dataMin = std::min(GetDataMin(), GetDataMax());
    const double dataMax = std::max(GetDataMin(), GetDataMax());
    if (low < dataMin) {
        high += dataMin - low;
        low = dataMin;
    }
    if (high > dataMax) {
        low = std::max(dataMin, low - (high - dataMax));
        high = dataMax;
    }
    SetZoomRange(low, high);
    PanApplied(chart);
}

void TZemScopeXAxis::MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                             int y) {
    TZemDisplayXAxis::MouseUp(button, shift, inside, x, y);
    m_drag.m_active = false;
}
