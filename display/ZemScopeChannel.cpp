#include "display/ZemScopeChannel.h"

#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "display/ZemCanvas.h"
#include "display/ZemScope.h"
#include "display/ZemScopeAxes.h"
#include "display/ZemScopeItems.h"
#include "dsp/VecPrimitives.h"
#include "pins/VokFiler.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

/// The palette new channels take their colour from (the entry used by the fewest channels, the
/// earlier entry winning ties). 0xFFFF00 is listed twice, so it is chosen twice as often.
constexpr std::array<TVokColor, 14> kChannelPalette = {
    0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFFFF00, 0xF0FBFF, 0x008080,
    0xFFFFFF, 0xC0C0C0, 0x800080, 0xFF00FF, 0xFFFF00, 0x808000, 0x800000,
};

} // namespace

// --- TZemDisplayChannel ------------------------------------------------------------------------

const TVokClassInfo& TZemDisplayChannel::ClassInfo() {
    using T = TZemDisplayChannel;
    static const TVokClassInfo info(
        "TZemDisplayChannel", &TZemOptionalDisplayCollectionItem::ClassInfo(), nullptr,
        {
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0x0000FF),
            TVokProp::Integer("Width", &T::GetWidth, &T::SetWidth, 1),
        });
    return info;
}

TZemDisplayChannel::TZemDisplayChannel(TVokExtCollection* collection)
    : TZemOptionalDisplayCollectionItem(collection) {
}

TZemDisplayChannel::~TZemDisplayChannel() {
    // Cursor links that point here go with the channel.
    TZemDataChart* chart = GetChart();
    if (chart != nullptr && !m_links.empty()) {
        ZemChannelDestroyed(chart, this);
    }
}

TZemDataChart* TZemDisplayChannel::GetChart() const {
    return dynamic_cast<TZemDataChart*>(GetDisplay());
}

void TZemDisplayChannel::SetColor(TVokColor value) {
    if (value != m_color) {
        m_color = value;
        if (TZemDataDisplay* display = GetDisplay()) {
            display->InvalidateLayout();
        }
    }
}

void TZemDisplayChannel::SetWidth(int32_t value) {
    value = std::clamp(value, 1, 2000);
    if (value != m_width) {
        m_width = value;
        if (TZemDataDisplay* display = GetDisplay()) {
            display->InvalidateLayout();
        }
    }
}

void TZemDisplayChannel::RegisterLink(TZemDisplayChannelLink* link) {
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end()) {
        m_links.push_back(link);
    }
}

void TZemDisplayChannel::UnregisterLink(TZemDisplayChannelLink* link) {
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

// --- TZemScopePoints ---------------------------------------------------------------------------

const TVokClassInfo& TZemScopePoints::ClassInfo() {
    using T = TZemScopePoints;
    static const TVokClassInfo info(
        "TZemScopePoints", nullptr, nullptr,
        {
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, false),
            TVokProp::Enum("Shape",
                           {"psCircle", "psSquare", "psDiamond", "psPlus", "psCross", "psStar"},
                           &T::GetShape, &T::SetShape, psCircle),
            TVokProp::Integer("Size", &T::GetSize, &T::SetSize, 3),
            TVokProp::Object("Brush", &T::GetBrush),
            TVokProp::Object("Pen", &T::GetPen),
            TVokProp::Bool("UseChannelColor", &T::GetUseChannelColor, &T::SetUseChannelColor, true),
        });
    return info;
}

TZemScopePoints::TZemScopePoints(TZemScopeChannel* channel)
    : m_channel(channel), m_brush(std::make_unique<TVokBrush>(kVokClRed)),
      m_pen(std::make_unique<TVokPen>(kVokClRed)) {
    m_brush->SetOnChange([this] { Changed(); });
    m_pen->SetOnChange([this] { Changed(); });
}

void TZemScopePoints::DefineProperties(TVokFiler& filer) {
    // The older single "Color" entry: (pen colour, brush colour); read, never written.
    filer.DefineProperty(
        "Color",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            m_pen->SetColor(static_cast<TVokColor>(reader.ReadInteger()));
            m_brush->SetColor(static_cast<TVokColor>(reader.ReadInteger()));
            reader.ReadListEnd();
        },
        nullptr, false);
}

void TZemScopePoints::Changed() {
    m_channel->ItemChanged();
}

void TZemScopePoints::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        Changed();
    }
}

void TZemScopePoints::SetShape(TZemScopePointsShape value) {
    if (value != m_shape) {
        m_shape = value;
        Changed();
    }
}

void TZemScopePoints::SetSize(uint32_t value) {
    value = std::min<uint32_t>(value, 100000);
    if (value != m_size) {
        m_size = value;
        Changed();
    }
}

void TZemScopePoints::SetUseChannelColor(bool value) {
    if (value != m_useChannelColor) {
        m_useChannelColor = value;
        Changed();
    }
}

// --- TZemScopeChannel: construction and properties -------------------------------------------

const TVokClassInfo& TZemScopeChannel::ClassInfo() {
    using T = TZemScopeChannel;
    static const TVokClassInfo info(
        "TZemScopeChannel", &TZemDisplayChannel::ClassInfo(), nullptr,
        {
            TVokProp::Object("InputPin", &T::GetInputPin),
            TVokProp::Enum("ChannelMode", {"cmLine", "cmBar", "cmPoint"}, &T::GetChannelMode,
                           &T::SetChannelMode, cmLine),
            TVokProp::Enum("ShadeMode", {"csmZero", "csmTop", "csmBottom"}, &T::GetShadeMode,
                           &T::SetShadeMode, csmZero),
            TVokProp::Object("Points", &T::GetPoints),
            TVokProp::Collection("Markers", &T::GetMarkers),
            TVokProp::Event("OnSampleDraw", &T::GetOnSampleDraw, &T::SetOnSampleDraw),
            TVokProp::Event("OnChannelDraw", &T::GetOnChannelDraw, &T::SetOnChannelDraw),
        });
    return info;
}

TZemScopeChannel::TZemScopeChannel(TVokExtCollection* collection)
    : TZemDisplayChannel(collection), m_points(std::make_unique<TZemScopePoints>(this)),
      m_markers(std::make_unique<TZemScopeChannelMarkers>(this)) {
    TZemScope* scope = GetScope();
    if (scope == nullptr) {
        throw std::logic_error("A scope channel must be created in a scope's channel list");
    }
    m_inputPin = MakePin<TZemVokComboRealIntSinkPin>(
        scope, TZemPinHandler::Of<&TZemScopeChannel::HandlePinOperation>(this));
    TVokPinList* pins = scope->GetInputPins();
    const std::string name = "Channel" + std::to_string(pins->GetEntryCount());
    pins->AddNamed(m_inputPin.get(), name);
    TZemDisplayCollectionItem::SetName(name);
}

TZemScopeChannel::~TZemScopeChannel() {
    TZemScope* scope = GetScope();
    // No producer may reach the channel once its pin is gone: disconnect first.
    if (m_inputPin != nullptr) {
        m_inputPin->Disconnect();
        if (scope != nullptr) {
            scope->GetInputPins()->Remove(m_inputPin.get());
            scope->SetLayoutNeeded();
        }
        m_inputPin.reset();
    }
}

TZemScope* TZemScopeChannel::GetScope() const {
    return dynamic_cast<TZemScope*>(GetDisplay());
}

void TZemScopeChannel::SetName(const std::string& name) {
    TZemDisplayCollectionItem::SetName(name);
    TZemScope* scope = GetScope();
    if (scope != nullptr && m_inputPin != nullptr) {
        TVokPinList* pins = scope->GetInputPins();
        const int index = pins->IndexOf(m_inputPin.get());
        if (index >= 0) {
            pins->SetPinDisplayName(index, name);
        }
    }
}

void TZemScopeChannel::SetChannelMode(TZemScopeChannelMode value) {
    if (value != m_channelMode) {
        m_channelMode = value;
        ItemChanged();
    }
}

void TZemScopeChannel::SetShadeMode(TZemChannelShadeMode value) {
    if (value != m_shadeMode) {
        m_shadeMode = value;
        ItemChanged();
    }
}

// --- Producer side ---------------------------------------------------------------------------

TVokNotifyResults TZemScopeChannel::HandlePinOperation(TVokBasicPin* /*pin*/,
                                                       const TVokGuid& /*typeId*/,
                                                       TVokNotifyFlags /*flags*/,
                                                       TVokNotifyOperation* operation) {
    TZemScope* scope = GetScope();
    if (scope == nullptr) {
        return {};
    }
    if (auto* supplied = dynamic_cast<TVokSuppliedBufferOperation*>(operation)) {
        IZemDataBuffer* buffer = supplied->GetBuffer();
        if (const auto* real = BufferCast<TZemRealBuffer>(buffer)) {
            StoreSamples(real->GetReadPointer(), real->GetSize());
        } else if (const auto* integer = BufferCast<TZemIntegerBuffer>(buffer)) {
            // Exact conversion into a per-thread scratch vector, reused buffer after buffer.
            thread_local std::vector<double> s_converted;
            const int32_t* values = integer->GetReadPointer();
            s_converted.assign(values, values + integer->GetSize());
            StoreSamples(s_converted.data(), s_converted.size());
        }
    } else if (auto* single = dynamic_cast<TVokSuppliedSingleOperation*>(operation)) {
        StoreValue(single->GetValue());
    } else if (auto* real = dynamic_cast<TVokSuppliedRealOperation*>(operation)) {
        StoreValue(real->GetValue());
    } else if (auto* integer = dynamic_cast<TVokSuppliedIntegerOperation*>(operation)) {
        StoreValue(integer->GetValue());
    } else if (auto* start = dynamic_cast<TVokStartOperation*>(operation)) {
        const double rate = ZemStartSampleRate(*start, 10000.0);
        {
            std::lock_guard<std::mutex> guard(m_incomingLock);
            m_pendingStart = true;
            m_pendingRate = rate > 0.0 && std::isfinite(rate) ? rate : 10000.0;
            m_pendingSpectrum = dynamic_cast<TVokStartSpectrumOperation*>(operation) != nullptr;
            m_incomingX.clear();
            m_incomingY.clear();
        }
        m_newData.store(true, std::memory_order_release);
        scope->RequestAutoScaleReset(true);
        scope->InvalidateFromAnyThread();
    } else if (dynamic_cast<TVokStopOperation*>(operation) != nullptr) {
        scope->RequestAutoScaleReset(false);
        scope->InvalidateFromAnyThread();
    }
    return {};
}

void TZemScopeChannel::StoreSamples(const double* samples, size_t count) {
    TZemScope* scope = GetScope();
    const size_t limit = scope != nullptr ? scope->GetSizeLimit() : 0;
    {
        std::lock_guard<std::mutex> guard(m_incomingLock);
        if (limit == 0 || count == limit) {
            m_incomingY.assign(samples, samples + count);
        } else if (count > limit) {
            m_incomingY.assign(samples + (count - limit), samples + count);
        } else {
            // Append: the newest old samples fill the front, the new ones the end.
            const size_t old = m_incomingY.size();
            const size_t total = old >= limit ? limit : std::min(limit, old + count);
            const size_t keep = total - count;
            if (keep < old) {
                m_incomingY.erase(m_incomingY.begin(),
                                  m_incomingY.begin() + static_cast<ptrdiff_t>(old - keep));
            }
            m_incomingY.insert(m_incomingY.end(), samples, samples + count);
        }
        const size_t total = m_incomingY.size();
        if (m_incomingX.size() != total) {
            m_incomingX.resize(total);
            for (size_t i = 0; i < total; ++i) {
                m_incomingX[i] = static_cast<double>(i);
            }
        } else if (total > 0 && m_incomingX[total - 1] != static_cast<double>(total - 1)) {
            for (size_t i = 0; i < total; ++i) {
                m_incomingX[i] = static_cast<double>(i);
            }
        }
    }
    m_newData.store(true, std::memory_order_release);
}

void TZemScopeChannel::StoreValue(double value) {
    TZemScope* scope = GetScope();
    const size_t limit = scope != nullptr ? scope->GetSizeLimit() : 0;
    {
        std::lock_guard<std::mutex> guard(m_incomingLock);
        const bool slide = limit != 0 && m_incomingX.size() >= limit;
        if (slide) {
            std::rotate(m_incomingX.begin(), m_incomingX.begin() + 1, m_incomingX.end());
            std::rotate(m_incomingY.begin(), m_incomingY.begin() + 1, m_incomingY.end());
        } else {
            m_incomingX.push_back(0.0);
            m_incomingY.push_back(0.0);
        }
        const size_t count = m_incomingX.size();
        m_incomingX[count - 1] = count < 2 ? 0.0 : m_incomingX[count - 2] + 1.0;
        m_incomingY[m_incomingY.size() - 1] = value;
    }
    m_newData.store(true, std::memory_order_release);
    if (scope != nullptr) {
        scope->SetLayoutNeeded();
    }
}

// --- GUI side ----------------------------------------------------------------------------------

bool TZemScopeChannel::MoveIncomingData() {
    if (!m_newData.load(std::memory_order_acquire)) {
        return false;
    }
    {
        std::lock_guard<std::mutex> incoming(m_incomingLock);
        std::lock_guard<std::mutex> display(m_displayLock);
        if (m_pendingStart) {
            m_pendingStart = false;
            m_sampleRate = m_pendingRate;
            m_spectrum = m_pendingSpectrum;
            m_intensity = false;
        }
        m_displayX.assign(m_incomingX.begin(), m_incomingX.end());
        m_displayY.assign(m_incomingY.begin(), m_incomingY.end());
        m_newData.store(false, std::memory_order_release);
    }
    if (m_displayY.empty()) {
        m_pixelX.clear();
        m_pixelY.clear();
    }
    m_displayChanged = true;
    return true;
}

void TZemScopeChannel::CutIncoming(size_t limit) {
    std::lock_guard<std::mutex> guard(m_incomingLock);
    if (m_incomingY.size() > limit) {
        m_incomingY.resize(limit);
    }
    if (m_incomingX.size() > limit) {
        m_incomingX.resize(limit);
    }
}

bool TZemScopeChannel::GetXRange(double& minimum, double& maximum) {
    std::lock_guard<std::mutex> guard(m_displayLock);
    if (m_displayX.empty()) {
        return false;
    }
    const auto [low, high] = std::minmax_element(m_displayX.begin(), m_displayX.end());
    minimum = *low;
    maximum = *high;
    return true;
}

// --- Drawing -----------------------------------------------------------------------------------

void TZemScopeChannel::ComputeXPixels(const TZemRect& dataRect, double xMin, double xMax) {
    TZemScope* scope = GetScope();
    const bool vertical = scope->IsVertical();
    const int span =
        vertical ? dataRect.m_bottom - dataRect.m_top : dataRect.m_right - dataRect.m_left;
    const int origin = vertical ? dataRect.m_top : dataRect.m_left;
    const size_t count = m_displayY.size();
    double dataMin = 0.0;
    double dataMax = 0.0;
    if (!m_displayX.empty()) {
        const auto [low, high] = std::minmax_element(m_displayX.begin(), m_displayX.end());
        dataMin = *low;
        dataMax = *high;
    }
    const TPixelKey key{count, span, origin, dataMin, dataMax, xMin, xMax};
    if (key == m_pixelKey && m_xValuePixels.size() == count) {
        return;
    }
    scope->InvalidateAxisValues();
    double low = xMin;
    double high = xMax;
    if (low == high) {
        low -= 1.0;
        high += 1.0;
    }
    double range = high - low;
    if (range == 0.0 || !std::isfinite(range)) {
        range = 1.0;
    }
    // Sample indices become axis units (seconds, hertz or samples) by the ratio of the axis's
    // unit range to the chart's data range.
    TZemScopeXAxis* axis = scope->GetXAxis();
    const double unitSpan = axis->GetUnitMax() - axis->GetUnitMin();
    const double dataSpan = scope->GetDataXMax() - scope->GetDataXMin();
    const double unit =
        unitSpan != dataSpan && dataSpan != 0.0 && std::isfinite(unitSpan / dataSpan)
            ? unitSpan / dataSpan
            : 1.0;
    const size_t xCount = std::min(count, m_displayX.size());
    m_unitX.resize(xCount);
    VecMulConst64f(m_displayX.data(), unit, m_unitX.data(), static_cast<int32_t>(xCount));
    const double pixelsPerUnit = (span - 1) / range;
    const int64_t base = static_cast<int64_t>(origin) - ZemRound((span - 1) * low / range);
    m_xValuePixels.resize(xCount);
    for (size_t i = 0; i < xCount; ++i) {
        m_xValuePixels[i] = ZemClampPixel(ZemRound(m_unitX[i] * pixelsPerUnit) + base);
    }
    m_pixelKey = key;
}

void TZemScopeChannel::ComputeYPixels(const TZemDrawArgs& args, const TZemRect& dataRect) {
    const size_t count = m_work.size();
    const double scale = args.m_yScale;
    if (args.m_logarithmic) {
        for (size_t i = 0; i < count; ++i) {
            m_work[i] = scale * ZemSignedLog(m_work[i]);
        }
    } else if (scale > 1.0) {
        // Values near the limit of doubles stay unscaled instead of overflowing to infinity.
        for (size_t i = 0; i < count; ++i) {
            if (std::fabs(m_work[i]) < 1.7e308) {
                m_work[i] *= scale;
            }
        }
    } else {
        VecMulConst64f(m_work.data(), scale, m_work.data(), static_cast<int32_t>(count));
    }
    m_workSingle.resize(count);
    m_yValuePixels.resize(count);
    VecConvert64fTo32f(m_work.data(), m_workSingle.data(), static_cast<int32_t>(count));
    VecConvert32fTo32s(m_workSingle.data(), m_yValuePixels.data(), static_cast<int32_t>(count),
                       rmNearest, 0);
    const int64_t base = GetScope()->IsVertical()
                             ? static_cast<int64_t>(dataRect.m_right) - args.m_yOffset - 1
                             : static_cast<int64_t>(dataRect.m_bottom) - args.m_yOffset;
    for (size_t i = 0; i < count; ++i) {
        m_yValuePixels[i] = ZemClampPixel(base - m_yValuePixels[i]);
    }
}

void TZemScopeChannel::Draw(TZemCanvas& canvas, const TZemDrawArgs& args, const TZemRect& dataRect,
                            double xMin, double xMax) {
    if (!GetVisible() || m_displayY.empty()) {
        return;
    }
    TZemScope* scope = GetScope();
    try {
        if (m_onChannelDraw) {
            scope->SetSuppressInvalidate(true);
            try {
                m_onChannelDraw(scope, GetIndex(), m_displayY.data(),
                                static_cast<int>(m_displayY.size()), m_displayChanged);
            } catch (...) {
                scope->SetSuppressInvalidate(false);
                throw;
            }
            m_displayChanged = false;
            scope->SetSuppressInvalidate(false);
        }
        ComputeXPixels(dataRect, xMin, xMax);
        m_work.assign(m_displayY.begin(), m_displayY.end());
        ComputeYPixels(args, dataRect);
        const size_t count = std::min(m_xValuePixels.size(), m_yValuePixels.size());
        const bool vertical = args.m_vertical;
        m_pixelX.resize(count);
        m_pixelY.resize(count);
        for (size_t i = 0; i < count; ++i) {
            m_pixelX[i] = vertical ? m_yValuePixels[i] : m_xValuePixels[i];
            m_pixelY[i] = vertical ? m_xValuePixels[i] : m_yValuePixels[i];
        }
        if (count > 0) {
            const auto [left, right] = std::minmax_element(m_pixelX.begin(), m_pixelX.end());
            const auto [top, bottom] = std::minmax_element(m_pixelY.begin(), m_pixelY.end());
            m_boxLeft = *left;
            m_boxRight = *right;
            m_boxTop = *top;
            m_boxBottom = *bottom;
        }
        if (scope->IsChannelHighlighted(this)) {
            DrawPass(canvas, args, dataRect, true);
        }
        DrawPass(canvas, args, dataRect, false);
    } catch (...) {
        // A failing draw of one channel leaves the rest of the picture intact.
    }
    canvas.SetPenWidth(1);
}

void TZemScopeChannel::DrawPass(TZemCanvas& canvas, const TZemDrawArgs& args,
                                const TZemRect& dataRect, bool highlighted) {
    TZemScope* scope = GetScope();
    const TVokColor highlightColor = scope->GetChannelHighlightColor();
    const TVokColor color = highlighted ? highlightColor : GetColor();
    const int width = highlighted ? GetWidth() + 2 : GetWidth();
    const size_t count = m_pixelX.size();
    switch (m_channelMode) {
    case cmLine: {
        m_points2d.resize(count);
        for (size_t i = 0; i < count; ++i) {
            m_points2d[i] = QPoint(m_pixelX[i], m_pixelY[i]);
        }
        canvas.SetPen(color, width);
        canvas.PolylineInclusive(m_points2d.data(), static_cast<int>(count));
        break;
    }
    case cmBar: {
        canvas.SetPen(color, 1);
        canvas.SetBrush(color, zbsSolid);
        const int64_t barWidth = width;
        const int64_t extra = highlighted ? 1 : 0;
        const bool reversed = scope->GetYAxis()->GetReversed();
        const bool vertical = args.m_vertical;
        m_bars.clear();
        // Bars grow along the Y direction: rows for a normal scope, columns for a vertical one.
        const int64_t zero = vertical ? static_cast<int64_t>(dataRect.m_right) - args.m_yOffset
                                      : static_cast<int64_t>(dataRect.m_bottom) - args.m_yOffset;
        const int64_t nearEdge = vertical ? dataRect.m_left : dataRect.m_top;
        const int64_t farEdge = vertical ? dataRect.m_right : dataRect.m_bottom;
        for (size_t i = 0; i < count; ++i) {
            if (m_onSampleDraw) {
                bool defaultDraw = true;
                m_onSampleDraw(this, i < m_displayX.size() ? m_displayX[i] : double(i),
                               m_displayY[i], canvas, highlighted, defaultDraw);
                if (!defaultDraw) {
                    continue;
                }
            }
            const int64_t across = vertical ? m_pixelY[i] : m_pixelX[i];
            const int64_t along = vertical ? m_pixelX[i] : m_pixelY[i];
            int64_t first = 0; // inclusive range along the Y direction
            int64_t last = 0;
            switch (m_shadeMode) {
            case csmZero:
                if (along < zero) {
                    first = along - extra;
                    last = zero;
                } else {
                    first = zero;
                    last = along + extra;
                }
                break;
            case csmTop:
                // Towards the top edge, or past the bottom edge when the axis is reversed.
                first = reversed ? along - extra : nearEdge;
                last = reversed ? farEdge : along - extra;
                break;
            case csmBottom:
                first = reversed ? nearEdge : along - extra;
                last = reversed ? along - extra : farEdge;
                break;
            }
            if (first > last) {
                std::swap(first, last);
            }
            const int64_t start = across - barWidth / 2;
            const int left = ZemClampPixel(vertical ? first : start);
            const int right = ZemClampPixel(vertical ? last + 1 : start + barWidth);
            const int top = ZemClampPixel(vertical ? start : first);
            const int bottom = ZemClampPixel(vertical ? start + barWidth : last + 1);
            if (m_onSampleDraw) {
                // The handler may draw on the canvas itself: keep the order bar by bar.
                canvas.FillRect(left, top, right, bottom);
            } else if (right > left && bottom > top) {
                m_bars.emplace_back(left, top, right - left, bottom - top);
            }
        }
        canvas.FillRects(m_bars.data(), static_cast<int>(m_bars.size()));
        break;
    }
    case cmPoint:
        if (!m_points->GetVisible()) {
            for (size_t i = 0; i < count; ++i) {
                if (highlighted) {
                    canvas.SetBrush(color, zbsSolid);
                    canvas.FillRect(m_pixelX[i] - 1, m_pixelY[i] - 1, m_pixelX[i] + 2,
                                    m_pixelY[i] + 2);
                } else {
                    canvas.SetPixel(m_pixelX[i], m_pixelY[i], color);
                }
            }
        }
        break;
    }
    if (m_points->GetVisible()) {
        DrawPoints(canvas, highlighted, highlightColor);
    }
}

void TZemScopeChannel::DrawPoints(TZemCanvas& canvas, bool highlighted, TVokColor highlightColor) {
    canvas.SaveTools();
    const TZemScopePointsShape shape = m_points->GetShape();
    const bool lineShape = shape == psPlus || shape == psCross || shape == psStar;
    if (highlighted) {
        canvas.SetPen(highlightColor, lineShape ? 3 : 1);
        canvas.SetBrush(highlightColor, zbsSolid);
    } else if (m_points->GetUseChannelColor()) {
        canvas.SetPen(GetColor(), 1);
        canvas.SetBrush(GetColor(), zbsSolid);
    } else {
        const TVokPen& pen = *m_points->GetPen();
        const TVokBrush& brush = *m_points->GetBrush();
        canvas.SetPen(pen.GetColor(), 1, static_cast<TZemPenStyle>(pen.GetStyle()),
                      static_cast<TZemPenMode>(pen.GetMode()));
        canvas.SetBrush(brush.GetColor(), static_cast<TZemBrushStyle>(brush.GetStyle()));
    }
    const int64_t size = m_points->GetSize();
    const int64_t grow = highlighted ? 1 : 0;
    const int64_t extra = highlighted ? 1 : 0;
    for (size_t i = 0; i < m_pixelX.size(); ++i) {
        const int64_t x = m_pixelX[i];
        const int64_t y = m_pixelY[i];
        const int left = ZemClampPixel(x - size - grow);
        const int top = ZemClampPixel(y - size - grow);
        const int right = ZemClampPixel(x + size + 1 + grow);
        const int bottom = ZemClampPixel(y + size + 1 + grow);
        const int cx = ZemClampPixel(x);
        const int cy = ZemClampPixel(y);
        const int e = static_cast<int>(extra);
        switch (shape) {
        case psCircle:
            canvas.Ellipse(left, top, right, bottom);
            break;
        case psSquare:
            canvas.Rectangle(left, top, right, bottom);
            break;
        case psDiamond: {
            const QPoint corners[4] = {QPoint(cx, top), QPoint(left, cy), QPoint(cx, bottom - 1),
                                       QPoint(right - 1, cy)};
            canvas.Polygon(corners, 4);
            break;
        }
        case psPlus:
        case psCross:
        case psStar:
            if (shape != psCross) {
                canvas.MoveTo(cx, top);
                canvas.LineTo(cx, bottom - e);
                canvas.MoveTo(left, cy);
                canvas.LineTo(right - e, cy);
            }
            if (shape != psPlus) {
                canvas.MoveTo(left, top);
                canvas.LineTo(right - e, bottom - e);
                canvas.MoveTo(right - 1, top);
                canvas.LineTo(left + e - 1, bottom - e);
            }
            break;
        }
    }
    canvas.RestoreTools();
}

// --- TZemScopeChannels -------------------------------------------------------------------------

TZemScopeChannels::TZemScopeChannels(TZemScope* scope)
    : TZemDisplayCollection(scope, TVokCollectionItemClass::Of<TZemScopeChannel>()) {
}

const TVokClassInfo& TZemScopeChannels::ClassInfo() {
    static const TVokClassInfo info("TZemScopeChannels", &TZemDisplayCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

void TZemScopeChannels::ItemAdded(TVokExtCollectionItem* item) {
    auto* added = static_cast<TZemScopeChannel*>(item);
    std::array<int, kChannelPalette.size()> uses{};
    for (int index = 0; index < GetCount(); ++index) {
        const TZemScopeChannel* channel = GetChannel(index);
        if (channel == added) {
            continue;
        }
        for (size_t entry = 0; entry < kChannelPalette.size(); ++entry) {
            if (kChannelPalette[entry] == channel->GetColor()) {
                ++uses[entry];
            }
        }
    }
    size_t best = 0;
    for (size_t entry = 1; entry < kChannelPalette.size(); ++entry) {
        if (uses[entry] < uses[best]) {
            best = entry;
        }
    }
    added->SetColor(kChannelPalette[best]);
    if (TZemDataDisplay* display = GetDisplay()) {
        display->InvalidateLayout();
    }
}
