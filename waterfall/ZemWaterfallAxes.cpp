#include "waterfall/ZemWaterfallAxes.h"

#include "pins/VokFiler.h"
#include "waterfall/ZemWaterfall.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace detail {

double ZemWaterfallFrequencyEnd(double sampleRate, int& exponent) {
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) {
        sampleRate = 10000.0;
    }
    // Positive finite doubles span about −324 … 308 decades, so 3k stays within ±324 and
    // 10^3k is a finite, non-zero double.
    const int k = ZemTrunc(std::log10(sampleRate) / 3.0);
    exponent = 3 * k;
    return sampleRate / 2.0 / std::pow(10.0, exponent);
}

std::string ZemWaterfallFrequencyCaption(int exponent) {
    switch (exponent) {
    case -3:
        return "mHz";
    case 0:
        return "Hz";
    case 3:
        return "kHz";
    case 6:
        return "Mhz";
    default:
        return "Hz (E" + std::to_string(-static_cast<int64_t>(exponent)) + ")";
    }
}

} // namespace detail

namespace {

/// Whether the zoom window covers the whole tick range.
bool WindowCovers(double zoomMin, double zoomMax, double tickMin, double tickMax) {
    return zoomMin <= std::min(tickMin, tickMax) && zoomMax >= std::max(tickMin, tickMax);
}

/// One axis zoomed alone (axis toolbar, zoom history): history first, then the new window, then
/// a new layout.
template <class F> void ZoomAxisWindow(TZemDataDisplay* display, bool saveHistory, F zoom) {
    if (saveHistory && display != nullptr) {
        display->SaveZoomState(false);
    }
    zoom();
    if (display != nullptr) {
        display->InvalidateLayout();
    }
}

int32_t SaturateToInt(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

// ---- TZemWaterfallXAxis ------------------------------------------------------------------------

TZemWaterfallXAxis::TZemWaterfallXAxis(TZemBasicWaterfall* waterfall)
    : TZemDisplayXAxis(waterfall), m_waterfall(waterfall),
      m_minTick(std::make_unique<TZemBasicScopeAxisValue>([this] { RangeChanged(); }, 0.0)),
      m_maxTick(std::make_unique<TZemMaxScopeTickValue>([this] { RangeChanged(); })) {
    m_sampleCount = 512;
}

TZemWaterfallXAxis::~TZemWaterfallXAxis() = default;

const TVokClassInfo& TZemWaterfallXAxis::ClassInfo() {
    using T = TZemWaterfallXAxis;
    static const TVokClassInfo info(
        "TZemWaterfallXAxis", &TZemDisplayXAxis::ClassInfo(), nullptr,
        {
            TVokProp::Integer("Samples", &T::GetSamples, &T::SetSamples, 512),
            TVokProp::Object("MinTick", &T::GetMinTick),
            TVokProp::Object("MaxTick", &T::GetMaxTick),
        });
    return info;
}

bool TZemWaterfallXAxis::IsZoomed() const {
    return m_display != nullptr && m_display->IsZoomed();
}

void TZemWaterfallXAxis::RangeChanged() {
    InvalidateValues();
    InvalidateStep();
    SettingsChanged();
}

void TZemWaterfallXAxis::SetSamples(int value) {
    if (value < 0) {
        throw std::invalid_argument("XAxis Samples " + std::to_string(value) +
                                    " is negative: expected a count of spectra (0 stores 1024)");
    }
    if (value == 0) {
        value = 1024;
    }
    if (value == m_sampleCount) {
        return;
    }
    m_sampleCount = value;
    InvalidateValues();
    InvalidateStep();
    if (m_waterfall != nullptr) {
        m_waterfall->SamplesChanged();
    }
    SettingsChanged();
}

void TZemWaterfallXAxis::SetSampleCount(int count) {
    SetSamples(std::max(count, 0));
}

void TZemWaterfallXAxis::SetReversed(bool value) {
    if (value == GetReversed()) {
        return;
    }
    TZemDisplayXAxis::SetReversed(value);
    if (m_waterfall != nullptr) {
        m_waterfall->OrientationChanged();
    }
}

double TZemWaterfallXAxis::ComputeTickMin() {
    return m_minTick->GetAutoScale() ? 0.0 : m_minTick->GetValue();
}

double TZemWaterfallXAxis::ComputeTickMax() {
    return m_maxTick->GetAutoScale() ? static_cast<double>(m_sampleCount) : m_maxTick->GetValue();
}

int TZemWaterfallXAxis::WindowIndex(double tick) {
    const double tickMin = GetTickMin();
    const double index = (tick - tickMin) / (GetTickMax() - tickMin) * m_sampleCount;
    // A zero tick span gives ±∞ or NaN, which the saturating rounding and the clamp turn into
    // an end of the history.
    return std::clamp(ZemRound(index), 0, m_sampleCount);
}

int TZemWaterfallXAxis::GetFirstVisibleSample() {
    if (!IsZoomed()) {
        return 0;
    }
    return std::min(WindowIndex(m_zoomMin), WindowIndex(m_zoomMax));
}

int TZemWaterfallXAxis::GetLastVisibleSample() {
    if (!IsZoomed()) {
        return m_sampleCount;
    }
    return std::max(WindowIndex(m_zoomMin), WindowIndex(m_zoomMax));
}

double TZemWaterfallXAxis::ComputeTickVisibleMin() {
    const double tickMin = GetTickMin();
    return tickMin + GetVisibleMin() / m_sampleCount * (GetTickMax() - tickMin);
}

double TZemWaterfallXAxis::ComputeTickVisibleMax() {
    const double tickMin = GetTickMin();
    return tickMin + GetVisibleMax() / m_sampleCount * (GetTickMax() - tickMin);
}

double TZemWaterfallXAxis::GetMajorStep() {
    // nearbyint rounds halves to even (the default rounding mode) without leaving doubles.
    return std::max(1.0, std::nearbyint(TZemDisplayXAxis::GetMajorStep()));
}

void TZemWaterfallXAxis::StoreWindow(int64_t start, int64_t end) {
    if (end < start + 2) {
        end = start + 2;
        const double tickMax = GetTickMax();
        if (end > tickMax) {
            end = ZemRound(tickMax);
            start = end - 2;
        }
    }
    m_zoomMin = SaturateToInt(start);
    m_zoomMax = SaturateToInt(end);
    InvalidateValues();
}

void TZemWaterfallXAxis::ZoomToWindow(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum)) {
        return;
    }
    StoreWindow(ZemRound(std::min(minimum, maximum)), ZemRound(std::max(minimum, maximum)));
}

void TZemWaterfallXAxis::ZoomWindowBy(double factor) {
    if (!std::isfinite(factor)) {
        return;
    }
    if (!IsZoomed()) {
        m_zoomMin = ZemRound(GetTickVisibleMin());
        m_zoomMax = ZemRound(GetTickVisibleMax());
    }
    const double span = static_cast<double>(m_zoomMax) - m_zoomMin;
    if (span <= 2.0 && factor <= 1.0) {
        InvalidateValues();
        return;
    }
    const int d = ZemRound(span * factor - span);
    const double half = d != 0 ? d / 2.0 : 1.0;
    StoreWindow(ZemRound(m_zoomMin - half), ZemRound(m_zoomMax + half));
}

bool TZemWaterfallXAxis::CoversFullRange() {
    return WindowCovers(m_zoomMin, m_zoomMax, GetTickMin(), GetTickMax());
}

void TZemWaterfallXAxis::GetZoomRange(double& minimum, double& maximum) {
    minimum = m_zoomMin;
    maximum = m_zoomMax;
}

void TZemWaterfallXAxis::ZoomAxisTo(bool saveHistory, double first, double second) {
    ZoomAxisWindow(m_display, saveHistory, [&] { ZoomToWindow(first, second); });
}

// ---- TZemWaterfallYAxis ------------------------------------------------------------------------

TZemWaterfallYAxis::TZemWaterfallYAxis(TZemBasicWaterfall* waterfall)
    : TZemDisplayYAxis(waterfall), m_waterfall(waterfall) {
}

TZemWaterfallYAxis::~TZemWaterfallYAxis() = default;

const TVokClassInfo& TZemWaterfallYAxis::ClassInfo() {
    using T = TZemWaterfallYAxis;
    static const TVokClassInfo info(
        "TZemWaterfallYAxis", &TZemDisplayYAxis::ClassInfo(), nullptr,
        {
            TVokProp::Enum("TicksMode",
                           {"atmAuto", "atmBufferSamples", "atmFrequency", "atmIntensity",
                            "atmTime", "atmManual"},
                           &T::GetTicksMode, &T::SetTicksMode, atmAuto)
                .AlwaysStored(),
            TVokProp::Float("MinTick", &T::GetMinTick, &T::SetMinTick, 0.0).NotStored(),
            TVokProp::Float("MaxTick", &T::GetMaxTick, &T::SetMaxTick, 500.0).NotStored(),
            TVokProp::Integer("Precision", &T::GetPrecision, &T::SetPrecision, 3),
            TVokProp::Bool("FixedPrecision", &T::GetFixedPrecision, &T::SetFixedPrecision, false),
        });
    return info;
}

bool TZemWaterfallYAxis::IsZoomed() const {
    return m_display != nullptr && m_display->IsZoomed();
}

void TZemWaterfallYAxis::SettingsChanged() {
    InvalidateValues();
    InvalidateStep();
    TZemDisplayYAxis::SettingsChanged();
}

void TZemWaterfallYAxis::SetTicksMode(TZemDisplayAxisTicksMode value) {
    if (value > atmManual) {
        throw std::invalid_argument("YAxis TicksMode " + std::to_string(static_cast<int>(value)) +
                                    " is out of range: expected atmAuto … atmManual");
    }
    if (value != m_ticksMode) {
        m_ticksMode = value;
        SettingsChanged();
    }
}

void TZemWaterfallYAxis::SetPrecision(int32_t value) {
    value = std::clamp(value, 0, 18);
    if (value != m_precision) {
        m_precision = value;
        SettingsChanged();
    }
}

void TZemWaterfallYAxis::SetFixedPrecision(bool value) {
    if (value != m_fixedPrecision) {
        m_fixedPrecision = value;
        SettingsChanged();
    }
}

void TZemWaterfallYAxis::SetMinTick(double value) {
    detail::ZemRequireFinite(value, "YAxis MinTick");
    if (value != m_minTick) {
        m_minTick = value;
        SettingsChanged();
    }
}

void TZemWaterfallYAxis::SetMaxTick(double value) {
    detail::ZemRequireFinite(value, "YAxis MaxTick");
    if (value != m_maxTick) {
        m_maxTick = value;
        SettingsChanged();
    }
}

void TZemWaterfallYAxis::SetBinCount(int count) {
    count = std::max(count, 1);
    if (count != m_binCount) {
        m_binCount = count;
        SettingsChanged();
    }
}

bool TZemWaterfallYAxis::IsFrequencyMode() const {
    return m_ticksMode == atmFrequency ||
           (m_ticksMode == atmAuto && m_waterfall != nullptr && m_waterfall->IsSpectrumData());
}

bool TZemWaterfallYAxis::IsIntensityMode() const {
    return m_ticksMode == atmIntensity ||
           (m_ticksMode == atmAuto && m_waterfall != nullptr && m_waterfall->IsIntensityData());
}

double TZemWaterfallYAxis::ComputeTickMin() {
    if (m_ticksMode == atmManual) {
        return m_minTick;
    }
    if (IsFrequencyMode() && m_waterfall != nullptr) {
        return m_waterfall->GetFrequencyStart();
    }
    return 0.0;
}

double TZemWaterfallYAxis::ComputeTickMax() {
    if (m_ticksMode == atmManual) {
        return m_maxTick;
    }
    if (IsFrequencyMode() && m_waterfall != nullptr) {
        return m_waterfall->GetFrequencyEnd();
    }
    return m_binCount;
}

double TZemWaterfallYAxis::WindowBin(double tick) {
    const double tickMin = GetTickMin();
    const double bin = (tick - tickMin) / (GetTickMax() - tickMin) * m_binCount;
    return std::clamp(ZemRound(bin), 0, m_binCount);
}

double TZemWaterfallYAxis::ComputeVisibleMin() {
    return IsZoomed() ? std::min(WindowBin(m_zoomMin), WindowBin(m_zoomMax)) : 0.0;
}

double TZemWaterfallYAxis::ComputeVisibleMax() {
    return IsZoomed() ? std::max(WindowBin(m_zoomMin), WindowBin(m_zoomMax))
                      : static_cast<double>(m_binCount);
}

double TZemWaterfallYAxis::ComputeTickVisibleMin() {
    const double tickMin = GetTickMin();
    return tickMin + GetVisibleMin() / m_binCount * (GetTickMax() - tickMin);
}

double TZemWaterfallYAxis::ComputeTickVisibleMax() {
    const double tickMin = GetTickMin();
    return tickMin + GetVisibleMax() / m_binCount * (GetTickMax() - tickMin);
}

int TZemWaterfallYAxis::GetFirstVisibleBin() {
    return ZemRound(GetVisibleMin());
}

int TZemWaterfallYAxis::GetEndVisibleBin() {
    return ZemRound(GetVisibleMax());
}

std::string TZemWaterfallYAxis::GetCaption() {
    const std::string& text = GetAxisLabel()->GetText();
    if (!text.empty()) {
        return text;
    }
    if (m_ticksMode == atmAuto && IsDesigning()) {
        return "Y Axis";
    }
    if (IsFrequencyMode()) {
        return detail::ZemWaterfallFrequencyCaption(
            m_waterfall != nullptr ? m_waterfall->GetFrequencyExponent() : 0);
    }
    return IsIntensityMode() ? "Intensity" : "Samples";
}

std::string TZemWaterfallYAxis::FormatValue(double value) {
    return detail::ZemFormatScopeLabel(value, m_precision, m_fixedPrecision,
                                       GetTickVisibleMax() - GetTickVisibleMin());
}

bool TZemWaterfallYAxis::IsReversed() const {
    // Running horizontally, an axis with the Y sense has its minimum at the right; the image
    // puts bin 0 at the left, so the vertical waterfall inverts the sense.
    const bool inverted =
        m_display != nullptr && m_display->IsVertical() && m_display->IsVerticalReversed();
    return GetReversed() != inverted;
}

void TZemWaterfallYAxis::GetMapping(double first, double second, int& offset, double& scale) {
    const detail::TZemAxisMapping mapping = detail::ZemAxisMapping(
        first, second, GetAxisLength() - 1, true, IsReversed(), IsLogarithmic());
    offset = mapping.m_offset;
    scale = mapping.m_scale;
}

void TZemWaterfallYAxis::StoreWindow(double start, double end) {
    if (end - start < 0.0001) {
        end = start + 0.0001;
    }
    const double tickMin = GetTickMin();
    const double tickMax = GetTickMax();
    const double bin = std::fabs(tickMax - tickMin) / m_binCount;
    if (end - start <= bin) {
        end = start + 2.0 * bin;
        if (end > tickMax) {
            end = ZemRound(tickMax);
            start = end - 2.0 * bin;
        }
    }
    m_zoomMin = start;
    m_zoomMax = end;
    InvalidateValues();
}

void TZemWaterfallYAxis::ZoomToWindow(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum)) {
        return;
    }
    StoreWindow(std::min(minimum, maximum), std::max(minimum, maximum));
}

void TZemWaterfallYAxis::ZoomWindowBy(double factor) {
    if (!std::isfinite(factor)) {
        return;
    }
    if (!IsZoomed()) {
        m_zoomMin = GetTickVisibleMin();
        m_zoomMax = GetTickVisibleMax();
    }
    const double span = m_zoomMax - m_zoomMin;
    const double grow = (span * factor - span) / 2.0;
    const double start = m_zoomMin - grow;
    const double end = m_zoomMax + grow;
    // A window grown beyond doubles keeps its last finite value.
    if (std::isfinite(start) && std::isfinite(end)) {
        StoreWindow(std::min(start, end), std::max(start, end));
    }
}

bool TZemWaterfallYAxis::CoversFullRange() {
    return WindowCovers(m_zoomMin, m_zoomMax, GetTickMin(), GetTickMax());
}

void TZemWaterfallYAxis::GetZoomRange(double& minimum, double& maximum) {
    minimum = m_zoomMin;
    maximum = m_zoomMax;
}

void TZemWaterfallYAxis::ZoomAxisTo(bool saveHistory, double first, double second) {
    ZoomAxisWindow(m_display, saveHistory, [&] { ZoomToWindow(first, second); });
}

void TZemWaterfallYAxis::DefineProperties(TVokFiler& filer) {
    TZemDisplayYAxis::DefineProperties(filer);
    filer.DefineProperty(
        "MinMax",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            const double minimum = detail::ZemReadFormNumber(reader, "YAxis.MinMax");
            const double maximum = detail::ZemReadFormNumber(reader, "YAxis.MinMax");
            reader.ReadListEnd();
            SetMinTick(minimum);
            SetMaxTick(maximum);
        },
        [this](TVokWriter& writer) {
            writer.WriteListBegin();
            writer.WriteFloat(m_minTick);
            writer.WriteFloat(m_maxTick);
            writer.WriteListEnd();
        },
        true);
}
