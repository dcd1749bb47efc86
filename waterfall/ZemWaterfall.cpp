#include "waterfall/ZemWaterfall.h"

#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "display/ZemCanvas.h"
#include "display/ZemLegend.h"
#include "display/ZemToolBar.h"
#include "waterfall/ZemLevelDisplay.h"
#include "waterfall/ZemWaterfallAxes.h"
#include "waterfall/ZemWaterfallItems.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

/// The top byte of every image pixel (RGB32).
constexpr uint32_t kOpaque = 0xFF000000U;

/// The colour `color` as the image stores it (0xFFRRGGBB).
uint32_t ImagePixelOf(TVokColor color) {
    const TVokColor rgb = TZemCanvas::FromQColor(TZemCanvas::ToQColor(color));
    const auto value = static_cast<uint32_t>(rgb);
    return kOpaque | ((value & 0xFFU) << 16) | (value & 0xFF00U) | ((value >> 16) & 0xFFU);
}

/// Adds a spectrum of integers or floats, converted exactly into a per-thread scratch vector that
/// is reused spectrum after spectrum.
template <class T> void AddConverted(TZemWaterfall& waterfall, const T* values, uint32_t count) {
    thread_local std::vector<double> s_converted;
    s_converted.assign(values, values + count);
    waterfall.AddSpectrum(s_converted.data(), count);
}

} // namespace

// --- TZemBasicWaterfallDataView ------------------------------------------------------------------

const TVokClassInfo& TZemBasicWaterfallDataView::ClassInfo() {
    static const TVokClassInfo info("TZemBasicWaterfallDataView", &TZemDisplayView::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemBasicWaterfallDataView::TZemBasicWaterfallDataView(TZemBasicWaterfall* waterfall)
    : TZemDisplayView(waterfall), m_waterfall(waterfall) {
}

// --- TZemWaterfallDataView -----------------------------------------------------------------------

const TVokClassInfo& TZemWaterfallDataView::ClassInfo() {
    static const TVokClassInfo info("TZemWaterfallDataView",
                                    &TZemBasicWaterfallDataView::ClassInfo(), nullptr, {});
    return info;
}

TZemWaterfallDataView::TZemWaterfallDataView(TZemWaterfall* waterfall)
    : TZemBasicWaterfallDataView(waterfall), m_owner(waterfall) {
}

double TZemWaterfallDataView::UpdateValueUnderMouse(int x, int y, bool& overData) {
    overData = false;
    TZemWaterfallXAxis* xAxis = m_owner->GetXAxis();
    TZemWaterfallYAxis* yAxis = m_owner->GetYAxis();
    const int64_t hs = xAxis->GetFirstVisibleSample();
    const int64_t he = xAxis->GetLastVisibleSample();
    const int64_t firstBin = yAxis->GetFirstVisibleBin();
    const int64_t endBin = yAxis->GetEndVisibleBin();
    const bool reversed = xAxis->GetReversed();
    const bool vertical = m_owner->IsVertical();
    const int64_t left = Left();
    const int64_t top = Top();
    const int64_t width = Width();
    const int64_t height = Height();

    std::lock_guard<std::mutex> guard(m_owner->m_dataLock);
    const double levelMin = m_owner->LevelMinLocked();
    if (m_image.isNull() || width <= 0 || height <= 0) {
        return levelMin;
    }
    const TZemSpectrumRing& history = m_owner->m_buffers.GetHistory();
    const int64_t count = history.Count();
    const int64_t along = vertical ? y - top : x - left;
    const int64_t alongLength = vertical ? height : width;
    const int64_t index = (he - hs) * (reversed ? alongLength - along : along) / alongLength + hs;
    if (index >= count) {
        m_beyondData = true;
        return levelMin;
    }
    if (index < 0) {
        return levelMin;
    }
    const std::vector<double>& spectrum = history.At(static_cast<int>(index));
    int64_t sample = -1;
    if (vertical) {
        sample = (endBin - firstBin) * (x - left) / width + firstBin;
    } else {
        const int64_t bin = (endBin - firstBin) * (y - top) / height + firstBin;
        if (bin >= firstBin && bin <= endBin) {
            sample = endBin + firstBin - bin - 1;
        }
    }
    // Bins beyond a shorter, newer spectrum (or beyond the oldest one's count) hold no value:
    // they show the level minimum and are not over data.
    if (sample < 0 || sample >= m_owner->m_buffers.GetBinCount() ||
        sample >= static_cast<int64_t>(spectrum.size())) {
        return levelMin;
    }
    overData = true;
    return spectrum[static_cast<size_t>(sample)];
}

void TZemWaterfallDataView::FillImage(int first) {
    const TZemSpectrumRing& history = m_owner->m_buffers.GetHistory();
    const int count = history.Count();
    if (count == 0 || m_image.isNull()) {
        return;
    }
    TZemDisplayLevelView* levels = m_owner->GetLevels();
    const double minimum = m_owner->LevelMinLocked();
    const double maximum = m_owner->LevelMaxLocked();
    const bool logarithmic = levels->GetAxis()->GetLogarithmic();
    double range = logarithmic ? ZemSignedLog(maximum) - ZemSignedLog(minimum) : maximum - minimum;
    if (range == 0.0 || !std::isfinite(range)) {
        range = 1.0;
    }
    const uint32_t minimumColour = levels->PixelColor(range, 0.0);
    const int samples = m_owner->GetXAxis()->GetSamples();
    const bool reversed = m_owner->GetXAxis()->GetReversed();
    const bool vertical = m_owner->IsVertical();
    const int bins = m_owner->m_buffers.GetBinCount();
    const int last = std::min(count, samples);
    // Colours one spectrum into `out` (contiguous), bins it does not hold in the minimum's
    // colour.
    // The image is RGB32: its top byte must be 0xFF, whatever the colour functions leave there.
    auto colour = [&](int index, uint32_t* out) {
        const std::vector<double>& spectrum = history.At(index);
        const int stored = static_cast<int>(std::min<size_t>(spectrum.size(), size_t(bins)));
        levels->PixelColors(spectrum.data(), stored, minimum, range, logarithmic, out, 1);
        std::fill(out + stored, out + bins, minimumColour);
        for (int bin = 0; bin < bins; ++bin) {
            out[bin] |= kOpaque;
        }
    };
    if (vertical) {
        // A spectrum is a line of the image.
        for (int index = std::max(0, first); index < last; ++index) {
            const int row = reversed ? samples - 1 - index : index;
            colour(index, reinterpret_cast<uint32_t*>(m_image.scanLine(row)));
        }
    } else {
        // A spectrum is a column: spectra are coloured a block at a time into a scratch area and
        // copied line by line, so the image is written along its lines, not across them.
        constexpr int kBlock = 16;
        m_fillScratch.resize(static_cast<size_t>(kBlock) * static_cast<size_t>(bins));
        for (int blockFirst = std::max(0, first); blockFirst < last; blockFirst += kBlock) {
            const int blockCount = std::min(kBlock, last - blockFirst);
            for (int k = 0; k < blockCount; ++k) {
                colour(blockFirst + k, m_fillScratch.data() + static_cast<size_t>(k) * bins);
            }
            for (int bin = 0; bin < bins; ++bin) {
                // Bin 0 on the bottom line.
                auto* line = reinterpret_cast<uint32_t*>(m_image.scanLine(bins - 1 - bin));
                for (int k = 0; k < blockCount; ++k) {
                    const int index = blockFirst + k;
                    const int column = reversed ? samples - 1 - index : index;
                    line[column] = m_fillScratch[static_cast<size_t>(k) * bins + bin];
                }
            }
        }
    }
}

bool TZemWaterfallDataView::LevelsChanged() {
    return m_owner->LevelsChangedLocked();
}

// --- TZemBasicWaterfall --------------------------------------------------------------------------

const TVokClassInfo& TZemBasicWaterfall::ClassInfo() {
    using T = TZemBasicWaterfall;
    static const TVokClassInfo info(
        "TZemBasicWaterfall", &TZemDataDisplay::ClassInfo(), nullptr,
        {
            TVokProp::Object("Title", &T::GetTitle),
            TVokProp::Object("XAxis", &T::GetXAxis),
            TVokProp::Object("YAxis", &T::GetYAxis),
            TVokProp::Object("Legend", &T::GetLegend),
            TVokProp::Collection("MarkerGroups", &T::GetMarkerGroups),
            TVokProp::Object("Highlighting", &T::GetHighlighting),
            TVokProp::Bool("Vertical", &T::GetVertical, &T::SetVertical, false),
            TVokProp::Integer("RefreshInterval", &T::GetRefreshInterval, &T::SetRefreshInterval,
                              100),
            TVokProp::Event("_XAxis", &T::m_expandHook, &T::m_expandHook),
            TVokProp::Event("_YAxis", &T::m_expandHook, &T::m_expandHook),
        });
    return info;
}

TZemBasicWaterfall::TZemBasicWaterfall(TVokComponent* owner)
    : TZemDataDisplay(owner), m_markerGroups(std::make_unique<TZemWaterfallMarkerGroups>(this)),
      m_refreshTimer(new QTimer()) {
    SetToolBar(std::make_unique<TZemWaterfallToolBar>(this));
    m_title = new TZemDisplayTitle(this);
    m_views.Add(m_title);
    m_title->SetText("Waterfall");
    m_xAxis = new TZemWaterfallXAxis(this);
    m_views.Add(m_xAxis);
    m_yAxis = new TZemWaterfallYAxis(this);
    m_views.Add(m_yAxis);
    m_legend = new TZemWaterfallLegendView(this);
    m_views.Add(m_legend);
    m_highlighting = std::make_unique<TZemWaterfallHighlighting>(this);
    m_refreshTimer->setInterval(m_refreshInterval);
    QObject::connect(m_refreshTimer, &QTimer::timeout, [this] {
        ZemGuard("refreshing the waterfall", [this] { RefreshTimerTick(); });
    });
}

TZemBasicWaterfall::~TZemBasicWaterfall() {
    delete m_refreshTimer;
}

void TZemBasicWaterfall::Loaded() {
    TZemDataDisplay::Loaded();
    UpdateRefreshTimer();
}

void TZemBasicWaterfall::SetRefreshInterval(int milliseconds) {
    m_refreshInterval = std::max(0, milliseconds);
    m_refreshTimer->setInterval(std::max(1, m_refreshInterval));
    UpdateRefreshTimer();
}

void TZemBasicWaterfall::UpdateRefreshTimer() {
    if (m_refreshInterval > 0 && !IsDesigning() && !IsLoading()) {
        m_refreshTimer->start(m_refreshInterval);
    } else {
        m_refreshTimer->stop();
    }
}

void TZemBasicWaterfall::SetVertical(bool value) {
    if (value != m_vertical) {
        m_vertical = value;
        OrientationChanged();
        m_xAxis->InvalidateValues();
        m_yAxis->InvalidateValues();
        InvalidateLayout();
    }
}

bool TZemBasicWaterfall::HasMarkerGroups() const {
    return m_markerGroups != nullptr && m_markerGroups->GetCount() > 0;
}

double TZemBasicWaterfall::GetFrequencyEnd() {
    if (!m_frequencyEndValid) {
        m_frequencyEnd = detail::ZemWaterfallFrequencyEnd(GetSampleRate(), m_frequencyExponent);
        m_frequencyEndValid = true;
    }
    return m_frequencyEnd;
}

int TZemBasicWaterfall::GetFrequencyExponent() {
    GetFrequencyEnd();
    return m_frequencyExponent;
}

void TZemBasicWaterfall::OrientationChanged() {
    // The image is re-allocated and wholly coloured at the next paint.
    if (m_basicDataView != nullptr) {
        m_basicDataView->m_image = QImage();
    }
    RedrawDisplay();
}

std::string TZemBasicWaterfall::FormatLevelValue(double value) {
    return detail::ZemFormatFixed(value, 3);
}

std::string TZemBasicWaterfall::FormatReadout(const std::string& format, double xValue,
                                              double yValue, double zValue) {
    const std::string defaultFormat = kDefaultReadout;
    return ZemExpandValueFormat(format.empty() ? defaultFormat : format, defaultFormat,
                                [&](char code) {
                                    switch (code) {
                                    case 'X':
                                        return m_xAxis->FormatLabel(xValue);
                                    case 'Y':
                                        return m_yAxis->FormatLabel(yValue);
                                    case 'Z':
                                        return FormatLevelValue(zValue);
                                    default:
                                        return std::string();
                                    }
                                });
}

std::string TZemBasicWaterfall::FormatValueText(const std::string& format,
                                                const std::string& defaultFormat, double xValue,
                                                double yValue) {
    return ZemExpandValueFormat(
        format.empty() ? defaultFormat : format, defaultFormat, [&](char code) {
            if (code == 'X') {
                return m_xAxis->FormatLabel(xValue);
            }
            return code == 'Y' ? m_yAxis->FormatLabel(yValue) : std::string();
        });
}

TZemDisplayView* TZemBasicWaterfall::GetDataView() const {
    return m_basicDataView;
}

double TZemBasicWaterfall::GetVisibleXMin() {
    return m_xAxis->GetTickVisibleMin();
}

double TZemBasicWaterfall::GetVisibleXMax() {
    return m_xAxis->GetTickVisibleMax();
}

double TZemBasicWaterfall::GetVisibleYMin() {
    return m_yAxis->GetTickVisibleMin();
}

double TZemBasicWaterfall::GetVisibleYMax() {
    return m_yAxis->GetTickVisibleMax();
}

void TZemBasicWaterfall::SetVisibleRange(TZemZoomOperation /*operation*/,
                                         const TZemRealRange& yRange, const TZemRealRange& xRange) {
    m_xAxis->ZoomToWindow(xRange.m_min, xRange.m_max);
    m_yAxis->ZoomToWindow(yRange.m_min, yRange.m_max);
    SetZoomedFlag(true);
    m_xAxis->InvalidateValues();
    m_yAxis->InvalidateValues();
    InvalidateLayout();
}

void TZemBasicWaterfall::ResetVisibleRange() {
    SetZoomedFlag(false);
    m_xAxis->InvalidateValues();
    m_yAxis->InvalidateValues();
    InvalidateLayout();
}

void TZemBasicWaterfall::ZoomAxes(double factorY, double factorX) {
    m_xAxis->ZoomWindowBy(factorX);
    m_yAxis->ZoomWindowBy(factorY);
    m_xAxis->InvalidateValues();
    m_yAxis->InvalidateValues();
}

bool TZemBasicWaterfall::CanZoomOut() {
    return IsZoomed() && (!m_xAxis->CoversFullRange() || !m_yAxis->CoversFullRange());
}

// --- TZemWaterfallData ---------------------------------------------------------------------------

double TZemWaterfallData::GetSampleRate() const {
    return m_waterfall->GetRawSampleRate();
}

void TZemWaterfallData::SetSampleRate(double value) {
    m_waterfall->SetRawSampleRate(value);
}

void TZemWaterfallData::AddData(const int32_t* values, uint32_t count) {
    AddConverted(*m_waterfall, values, count);
}

void TZemWaterfallData::AddData(const float* values, uint32_t count) {
    AddConverted(*m_waterfall, values, count);
}

void TZemWaterfallData::AddData(const double* values, uint32_t count) {
    m_waterfall->AddSpectrum(values, count);
}

void TZemWaterfallData::Clear() {
    m_waterfall->ClearData();
}

std::vector<TRef<TZemRealBuffer>> TZemWaterfallData::GetHistory() const {
    return m_waterfall->SnapshotHistory(false);
}

std::vector<TRef<TZemRealBuffer>> TZemWaterfallData::GetHistoryWithPending() const {
    return m_waterfall->SnapshotHistory(true);
}

// --- TZemWaterfall -------------------------------------------------------------------------------

const TVokClassInfo& TZemWaterfall::ClassInfo() {
    using T = TZemWaterfall;
    static const TVokClassInfo info(
        "TZemWaterfall", &TZemBasicWaterfall::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Object("Levels", &T::GetLevels),
            TVokProp::Object("InputPin", &T::GetInputPin),
            TVokProp::Event("_Levels", &T::m_expandHook, &T::m_expandHook),
        });
    return info;
}

TZemWaterfall::TZemWaterfall(TVokComponent* owner) : TZemBasicWaterfall(owner) {
    m_inputPin = MakePin<TZemVokComboRealIntSinkPin>(
        this, TZemPinHandler::Of<&TZemWaterfall::HandlePinOperation>(this));
    TVokObject::LinkObjects(&m_pinGroup, m_inputPin.get());
    TZemLevelHost host;
    host.m_getMin = [this] { return GetLevelMin(); };
    host.m_getMax = [this] { return GetLevelMax(); };
    host.m_valueAt = [this](int x, int y) {
        bool overData = false;
        return m_dataView->UpdateValueUnderMouse(x, y, overData);
    };
    host.m_colorsChanged = [this] { RequestRecolour(); };
    m_levels = new TZemDisplayLevelView(this, std::move(host));
    m_views.Add(m_levels);
    m_dataView = new TZemWaterfallDataView(this);
    m_views.Add(m_dataView);
    m_basicDataView = m_dataView;
    m_buffers.SetCapacity(GetXAxis()->GetSamples());
    UpdateRefreshTimer();
}

TZemWaterfall::~TZemWaterfall() {
    // No producer may reach the store once it goes: the pin is unlinked and freed first.
    if (m_inputPin != nullptr) {
        m_inputPin->Disconnect();
        TVokObject::UnlinkObjects(&m_pinGroup, m_inputPin.get());
        m_inputPin.reset();
    }
}

TVokNotifyResults TZemWaterfall::HandlePinOperation(TVokBasicPin* /*pin*/,
                                                    const TVokGuid& /*typeId*/,
                                                    TVokNotifyFlags /*flags*/,
                                                    TVokNotifyOperation* operation) {
    if (auto* supplied = dynamic_cast<TVokSuppliedBufferOperation*>(operation)) {
        IZemDataBuffer* buffer = supplied->GetBuffer();
        if (const auto* real = BufferCast<TZemRealBuffer>(buffer)) {
            AddSpectrum(real->GetReadPointer(), real->GetSize());
        } else if (const auto* integer = BufferCast<TZemIntegerBuffer>(buffer)) {
            AddConverted(*this, integer->GetReadPointer(), integer->GetSize());
        } else if (const auto* memory = BufferCast<TZemMemoryBuffer>(buffer)) {
            // Any other memory buffer is read as doubles over the same bytes.
            AddSpectrum(static_cast<const double*>(memory->GetReadPointer()),
                        memory->GetByteSize() / sizeof(double));
        }
    } else if (auto* start = dynamic_cast<TVokStartOperation*>(operation)) {
        const double rate = ZemStartSampleRate(*start, 10000.0);
        SetRawSampleRate(rate, dynamic_cast<TVokStartSpectrumOperation*>(operation) != nullptr,
                         false);
        ClearData();
    }
    return {};
}

// --- Store ---------------------------------------------------------------------------------------

void TZemWaterfall::AddSpectrum(const double* values, uint32_t count) {
    std::lock_guard<std::mutex> guard(m_dataLock);
    if (m_holdingData) {
        m_buffers.Hold(values, count);
        return;
    }
    if (m_buffers.Store(values, count)) {
        m_levelsMoved.store(true, std::memory_order_relaxed);
    }
    m_newRows.fetch_add(1, std::memory_order_release);
}

void TZemWaterfall::ClearData() {
    {
        std::lock_guard<std::mutex> guard(m_dataLock);
        m_buffers.Clear(m_holdingData);
        m_newRows.store(0, std::memory_order_release);
        m_clearPending = true;
    }
    m_startRequested.store(true, std::memory_order_release);
    InvalidateFromAnyThread();
}

void TZemWaterfall::SetRawSampleRate(double rate, bool spectrum, bool intensity) {
    std::lock_guard<std::mutex> guard(m_dataLock);
    m_rawRate = rate;
    m_rawSpectrum = spectrum;
    m_rawIntensity = intensity;
    m_startRequested.store(true, std::memory_order_release);
}

void TZemWaterfall::SetRawSampleRate(double rate) {
    std::lock_guard<std::mutex> guard(m_dataLock);
    m_rawRate = rate;
    m_startRequested.store(true, std::memory_order_release);
}

double TZemWaterfall::GetRawSampleRate() const {
    std::lock_guard<std::mutex> guard(m_dataLock);
    return m_rawRate;
}

std::vector<TRef<TZemRealBuffer>> TZemWaterfall::SnapshotHistory(bool withPending) const {
    std::lock_guard<std::mutex> guard(m_dataLock);
    const TZemSpectrumRing& history = m_buffers.GetHistory();
    const TZemSpectrumRing& pending = m_buffers.GetPending();
    // The held spectra follow the history they will join (none of it when a clear waits for the
    // release); of both, the newest `Samples` are kept.
    const int stored = withPending && m_buffers.IsClearHistoryPending() ? 0 : history.Count();
    const int total = stored + (withPending ? pending.Count() : 0);
    const int first = withPending ? std::max(0, total - m_buffers.GetCapacity()) : 0;
    std::vector<TRef<TZemRealBuffer>> result;
    result.reserve(static_cast<size_t>(total - first));
    for (int index = first; index < total; ++index) {
        const std::vector<double>& spectrum =
            index < stored ? history.At(index) : pending.At(index - stored);
        result.emplace_back(
            new TZemRealBuffer(spectrum.data(), static_cast<uint32_t>(spectrum.size())));
    }
    return result;
}

// --- Waterfall operations ------------------------------------------------------------------------

double TZemWaterfall::GetSampleRate() const {
    return m_sampleRate > 0.0 && std::isfinite(m_sampleRate) ? m_sampleRate : 10000.0;
}

int TZemWaterfall::GetBinCount() const {
    return GetYAxis()->GetBinCount();
}

int TZemWaterfall::GetRowCount() const {
    std::lock_guard<std::mutex> guard(m_dataLock);
    return m_buffers.GetCount();
}

double TZemWaterfall::LevelMinLocked() const {
    TZemLevelAxis* axis = m_levels->GetAxis();
    return axis->GetAutoscale() && m_buffers.HasExtremes() ? m_buffers.GetRunningMin()
                                                           : axis->GetMin();
}

double TZemWaterfall::LevelMaxLocked() const {
    TZemLevelAxis* axis = m_levels->GetAxis();
    return axis->GetAutoscale() && m_buffers.HasExtremes() ? m_buffers.GetRunningMax()
                                                           : axis->GetMax();
}

double TZemWaterfall::GetLevelMin() {
    std::lock_guard<std::mutex> guard(m_dataLock);
    return LevelMinLocked();
}

double TZemWaterfall::GetLevelMax() {
    std::lock_guard<std::mutex> guard(m_dataLock);
    return LevelMaxLocked();
}

bool TZemWaterfall::LevelsChangedLocked() {
    const double minimum = LevelMinLocked();
    const double maximum = LevelMaxLocked();
    const bool logarithmic = m_levels->GetAxis()->GetLogarithmic();
    if (!m_recolourRequested && minimum == m_paintedMin && maximum == m_paintedMax &&
        logarithmic == m_paintedLogarithmic) {
        return false;
    }
    m_paintedMin = minimum;
    m_paintedMax = maximum;
    m_paintedLogarithmic = logarithmic;
    m_recolourRequested = false;
    return true;
}

std::string TZemWaterfall::FormatLevelValue(double value) {
    return m_levels->FormatLevel(value);
}

void TZemWaterfall::SamplesChanged() {
    {
        TVokWriteLockSection section(m_pinGroup);
        std::lock_guard<std::mutex> guard(m_dataLock);
        // The store never holds more spectra than the image has columns.
        if (m_buffers.SetCapacity(GetXAxis()->GetSamples())) {
            m_levelsMoved.store(true, std::memory_order_relaxed);
        }
        m_dataView->m_lastCount = std::min(m_dataView->m_lastCount, m_buffers.GetCount());
    }
    OrientationChanged();
}

void TZemWaterfall::UpdateHoldingDataLocked() {
    m_holdingData = GetHold() || m_dragging;
}

void TZemWaterfall::SetHold(bool value) {
    if (value == GetHold()) {
        return;
    }
    {
        // The flag and the release change together, so no spectrum arriving meanwhile is
        // stored ahead of the held ones.
        TVokWriteLockSection section(m_pinGroup);
        std::lock_guard<std::mutex> guard(m_dataLock);
        StoreHold(value);
        UpdateHoldingDataLocked();
        if (!m_holdingData) {
            ReleasePendingLocked();
        }
    }
    Repaint();
}

void TZemWaterfall::RedrawDisplay() {
    m_recolourRequested = true;
    Repaint();
}

void TZemWaterfall::ReleasePendingLocked() {
    const bool cleared = m_buffers.IsClearHistoryPending();
    const int held = m_buffers.GetPending().Count();
    if (m_buffers.ReleaseHeld()) {
        m_levelsMoved.store(true, std::memory_order_relaxed);
    }
    if (cleared) {
        m_clearPending = true;
        m_newRows.store(static_cast<uint32_t>(held), std::memory_order_release);
    } else {
        m_newRows.fetch_add(static_cast<uint32_t>(held), std::memory_order_release);
    }
}

bool TZemWaterfall::CheckNewData() {
    TVokWriteLockSection section(m_pinGroup);
    std::lock_guard<std::mutex> guard(m_dataLock);
    UpdateHoldingDataLocked();
    if (!m_holdingData) {
        ReleasePendingLocked();
    }
    return false;
}

void TZemWaterfall::RefreshTimerTick() {
    bool due = false;
    {
        TVokReadLockSection section(m_pinGroup);
        due = m_newRows.load(std::memory_order_acquire) > 0 ||
              m_startRequested.load(std::memory_order_acquire);
    }
    if (due) {
        Repaint();
    }
}

void TZemWaterfall::ApplyRequests() {
    int binCount = TZemWaterfallBuffers::kNoDataBinCount;
    bool started = false;
    {
        std::lock_guard<std::mutex> guard(m_dataLock);
        binCount = m_buffers.GetBinCount();
        if (m_startRequested.exchange(false, std::memory_order_acq_rel)) {
            started = true;
            m_sampleRate = m_rawRate;
            m_spectrum = m_rawSpectrum;
            m_intensity = m_rawIntensity;
        }
    }
    if (started) {
        m_frequencyEndValid = false;
        GetYAxis()->InvalidateValues();
        InvalidateLayout();
    }
    GetYAxis()->SetBinCount(binCount);
    if (m_levelsMoved.exchange(false, std::memory_order_acq_rel)) {
        m_levels->RefreshLevelTracking(true);
    }
}

// --- Painting ------------------------------------------------------------------------------------

void TZemWaterfall::PaintImage(TZemCanvas& canvas) {
    TZemWaterfallXAxis* xAxis = GetXAxis();
    TZemWaterfallYAxis* yAxis = GetYAxis();
    const int samples = xAxis->GetSamples();
    const bool reversed = xAxis->GetReversed();
    const bool vertical = IsVertical();
    const int hs = xAxis->GetFirstVisibleSample();
    const int he = xAxis->GetLastVisibleSample();
    const int firstBin = yAxis->GetFirstVisibleBin();
    const int endBin = yAxis->GetEndVisibleBin();
    QImage& image = m_dataView->m_image;
    QRect source;
    bool refreshTracking = false;
    {
        std::lock_guard<std::mutex> guard(m_dataLock);
        const int count = m_buffers.GetCount();
        if (count == 0) {
            return;
        }
        const int bins = m_buffers.GetBinCount();
        const int width = vertical ? bins : samples;
        const int height = vertical ? samples : bins;
        const int pitch = (width + 3) / 4 * 4;
        bool reallocated = false;
        if (image.isNull() || image.width() != pitch || image.height() != height) {
            image = QImage(pitch, height, QImage::Format_RGB32);
            image.fill(kOpaque);
            reallocated = true;
        }
        if (m_clearPending) {
            m_clearPending = false;
            m_dataView->m_lastCount = 0;
            m_recolourRequested = true;
        }
        const int historyFirst = reversed ? samples - he : hs;
        source = vertical ? QRect(firstBin, historyFirst, endBin - firstBin, he - hs)
                          : QRect(historyFirst, bins - endBin, he - hs, endBin - firstBin);

        int first = 0;
        const int newRows = static_cast<int>(m_newRows.load(std::memory_order_acquire));
        if (!LevelsChangedLocked() && !reallocated && newRows < samples) {
            first = std::max(0, count - newRows);
            const int shift = newRows + m_dataView->m_lastCount - samples;
            if (shift > 0) {
                ScrollImage(std::min(shift, samples));
                refreshTracking = true;
            }
        }
        if (m_dataView->m_beyondData && newRows > 0) {
            m_dataView->m_beyondData = false;
            refreshTracking = true;
        }
        m_newRows.store(0, std::memory_order_release);
        m_dataView->m_lastCount = count;
        m_dataView->FillImage(first);
        FillBackground(count, samples, bins);
    }
    if (refreshTracking) {
        m_levels->RefreshLevelTracking(false);
    }
    // The view's extent is its rectangle less one pixel, as for every view.
    canvas.StretchImage(
        QRect(m_dataView->Left(), m_dataView->Top(), m_dataView->Width(), m_dataView->Height()),
        image, source, m_smoothStretch);
}

void TZemWaterfall::ScrollImage(int steps) {
    QImage& image = m_dataView->m_image;
    auto* bits = reinterpret_cast<uint32_t*>(image.bits());
    const size_t pitch = static_cast<size_t>(image.bytesPerLine()) / 4;
    const size_t total = pitch * static_cast<size_t>(image.height());
    // One block move of the whole image: toward its start (the picture moves left, or up when
    // vertical) unless reversed. Pixels that wrap into the neighbouring line land only where the
    // new spectra are coloured at once.
    const size_t step = IsVertical() ? pitch * static_cast<size_t>(steps) : size_t(steps);
    if (step >= total) {
        return;
    }
    if (GetXAxis()->GetReversed()) {
        std::memmove(bits + step, bits, (total - step) * sizeof(uint32_t));
    } else {
        std::memmove(bits, bits + step, (total - step) * sizeof(uint32_t));
    }
}

void TZemWaterfall::FillBackground(int count, int samples, int bins) {
    // The part of the history dimension that holds no spectrum yet shows the display colour,
    // whatever the zoom.
    const int empty = samples - count;
    if (empty <= 0) {
        return;
    }
    QImage& image = m_dataView->m_image;
    const uint32_t colour = ImagePixelOf(GetColor());
    const bool reversed = GetXAxis()->GetReversed();
    if (IsVertical()) {
        const int firstRow = reversed ? 0 : samples - empty;
        for (int row = firstRow; row < firstRow + empty; ++row) {
            auto* line = reinterpret_cast<uint32_t*>(image.scanLine(row));
            std::fill(line, line + bins, colour);
        }
    } else {
        const int firstColumn = reversed ? 0 : count;
        for (int row = 0; row < image.height(); ++row) {
            auto* line = reinterpret_cast<uint32_t*>(image.scanLine(row));
            std::fill(line + firstColumn, line + firstColumn + empty, colour);
        }
    }
}

void TZemWaterfall::Render(TZemCanvas& canvas, const QRegion& region, bool exporting) {
    ApplyRequests();
    if (IsLayoutNeeded()) {
        Layout();
    }
    const int width = GetDrawWidth();
    const int height = GetDrawHeight();
    const bool whole = region.isEmpty();
    auto meetsRegion = [&](const TZemRect& rect) {
        return !rect.IsEmpty() && (whole || region.intersects(QRect(rect.m_left, rect.m_top,
                                                                    rect.Width(), rect.Height())));
    };
    // Drawing errors must not take the window down: the picture of this frame stays as far as
    // it got and the next frame tries again.
    try {
        canvas.SetBrush(GetColor(), zbsSolid);
        canvas.SetPen(GetColor(), 1);
        if (whole) {
            canvas.ClearClip();
        } else {
            canvas.SetClipRegion(region);
        }
        canvas.FillRect(0, 0, width, height);
        TZemDrawArgs args;
        args.m_canvas = &canvas;
        args.m_exporting = exporting;
        args.m_vertical = IsVertical();
        for (const auto& view : m_views) {
            if (!view->IsShown()) {
                continue;
            }
            if (meetsRegion(view->GetRect())) {
                view->DrawView(args);
            } else {
                view->SkipView(args);
            }
        }
        // PaintImage draws nothing while no spectrum is stored.
        if (meetsRegion(m_dataView->GetRect())) {
            PaintImage(canvas);
        }
    } catch (const std::exception&) {
        // Swallowed: see above.
    }
    if (!exporting) {
        DrawToolBar(canvas, region);
        for (const auto& view : m_views) {
            if (view->IsShown() && meetsRegion(view->GetRect())) {
                view->DrawOverlay(canvas);
            }
        }
        if (HasFocus()) {
            canvas.ClearClip();
            canvas.FocusRect(0, 0, width, height);
        }
    }
}

void RegisterWaterfallClasses() {
    RegisterVokClass(TZemWaterfall::ClassInfo());
}
