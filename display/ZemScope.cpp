#include "display/ZemScope.h"

#include "display/ZemCanvas.h"
#include "display/ZemScopeAxes.h"
#include "display/ZemScopeItems.h"

#include <cmath>

// --- TZemScopeDataView --------------------------------------------------------------------------

const TVokClassInfo& TZemScopeDataView::ClassInfo() {
    using T = TZemScopeDataView;
    static const TVokClassInfo info(
        "TZemScopeDataView", &TZemDisplayView::ClassInfo(), nullptr,
        {
            TVokProp::Color("GridColor", &T::GetGridColor, &T::SetGridColor, 0x008000),
            TVokProp::Color("ZeroGridColor", &T::GetZeroGridColor, &T::SetZeroGridColor, 0xFFFFFF),
        });
    return info;
}

TZemScopeDataView::TZemScopeDataView(TZemDataChart* chart)
    : TZemDisplayView(chart), m_chart(chart) {
}

void TZemScopeDataView::SetGridColor(TVokColor value) {
    if (value != m_gridColor) {
        m_gridColor = value;
        m_display->RedrawDisplay();
    }
}

void TZemScopeDataView::SetZeroGridColor(TVokColor value) {
    if (value != m_zeroGridColor) {
        m_zeroGridColor = value;
        m_display->RedrawDisplay();
    }
}

void TZemScopeDataView::DrawView(const TZemDrawArgs& args) {
    // A line across the view at every major tick of both axes, under the channels. The
    // callbacks capture one pointer each, so the tick walks allocate nothing.
    struct TGrid {
        TZemCanvas* m_canvas;
        TZemRect m_rect;
        TVokColor m_color;
        TVokColor m_zeroColor;
        bool m_acrossX; ///< lines run along the X direction (ticks of the Y axis, unrotated)
        void Line(int pixel, bool isZero) {
            m_canvas->SetPen(isZero ? m_zeroColor : m_color, 1);
            if (m_acrossX) {
                m_canvas->MoveTo(m_rect.m_left, pixel);
                m_canvas->LineTo(m_rect.m_right, pixel);
            } else {
                m_canvas->MoveTo(pixel, m_rect.m_top);
                m_canvas->LineTo(pixel, m_rect.m_bottom);
            }
        }
    };
    const bool vertical = m_chart->IsVertical();
    TGrid xGrid{args.m_canvas, GetRect(), m_gridColor, m_zeroGridColor, vertical};
    TGrid yGrid{args.m_canvas, GetRect(), m_gridColor, m_zeroGridColor, !vertical};
    TGrid* x = &xGrid;
    TGrid* y = &yGrid;
    m_chart->GetXAxis()->ForEachMajorTick([x](int pixel, bool isZero) { x->Line(pixel, isZero); });
    m_chart->GetYAxis()->ForEachMajorTick([y](int pixel, bool isZero) { y->Line(pixel, isZero); });
}

// --- TZemScope -----------------------------------------------------------------------------------

const TVokClassInfo& TZemScope::ClassInfo() {
    using T = TZemScope;
    static const TVokClassInfo info(
        "TZemScope", &TZemDataChart::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Collection("Channels", &T::GetChannels),
            TVokProp::Bool("Vertical", &T::GetVertical, &T::SetVertical, false),
            TVokProp::Integer("SizeLimit", &T::GetSizeLimit, &T::SetSizeLimit, 0),
            TVokProp::Event("_Channels", &T::m_expandHook, &T::m_expandHook),
        });
    return info;
}

TZemScope::TZemScope(TVokComponent* owner)
    : TZemDataChart(owner), m_channels(std::make_unique<TZemScopeChannels>(this)) {
    m_channels->Add();
}

TZemScope::~TZemScope() {
    for (int index = 0; index < GetInputPins()->GetCount(); ++index) {
        if (TVokBasicPin* pin = GetInputPins()->GetPin(index)) {
            pin->Disconnect();
        }
    }
    m_channels.reset();
}

TZemDisplayCollection* TZemScope::GetChannelCollection() const {
    return m_channels.get();
}

int TZemScope::GetChannelCount() const {
    return m_channels != nullptr ? m_channels->GetCount() : 0;
}

TZemDisplayChannel* TZemScope::GetChannel(int index) const {
    return m_channels->GetChannel(index);
}

void TZemScope::Loaded() {
    TZemDataChart::Loaded();
    TZemScopeYAxis* axis = GetYAxis();
    if (axis->GetMin() == axis->GetMax()) {
        axis->SetMin(-axis->GetMax());
    }
}

void TZemScope::SetVertical(bool value) {
    if (value != m_vertical) {
        m_vertical = value;
        InvalidateAxisValues();
        InvalidateLayout();
    }
}

bool TZemScope::IsVerticalReversed() const {
    return m_vertical && GetYAxis()->GetReversed();
}

void TZemScope::SetSizeLimit(uint32_t value) {
    const uint32_t old = m_sizeLimit.exchange(value, std::memory_order_acq_rel);
    if (value != 0 && (old == 0 || value < old)) {
        for (int index = 0; index < m_channels->GetCount(); ++index) {
            m_channels->GetChannel(index)->CutIncoming(value);
        }
    }
}

void TZemScope::InvalidateLayout() {
    if (!m_suppressInvalidate) {
        TZemDataChart::InvalidateLayout();
    }
}

void TZemScope::RedrawDisplay() {
    if (!m_suppressInvalidate) {
        TZemDataChart::RedrawDisplay();
    }
}

// --- Scale information ---------------------------------------------------------------------------

bool TZemScope::HasSpectrumChannel() {
    if (!m_kindValid) {
        m_spectrum = false;
        m_intensity = false;
        for (int index = 0; index < m_channels->GetCount(); ++index) {
            const TZemScopeChannel* channel = m_channels->GetChannel(index);
            if (!channel->GetVisible()) {
                continue;
            }
            if (channel->IsSpectrum()) {
                m_spectrum = true;
                break;
            }
            if (channel->IsIntensity()) {
                m_intensity = true;
                break;
            }
        }
        m_kindValid = true;
    }
    return m_spectrum;
}

bool TZemScope::HasIntensityChannel() {
    HasSpectrumChannel();
    return m_intensity;
}

double TZemScope::GetSampleRate() {
    if (!m_sampleRateValid) {
        bool known = false;
        double highest = 0.0;
        for (int index = 0; index < m_channels->GetCount(); ++index) {
            const TZemScopeChannel* channel = m_channels->GetChannel(index);
            if (channel->GetVisible()) {
                highest =
                    known ? std::max(highest, channel->GetSampleRate()) : channel->GetSampleRate();
                known = true;
            }
        }
        m_sampleRate = known && highest > 0.0 ? highest : 10000.0;
        m_sampleRateValid = true;
    }
    return m_sampleRate;
}

bool TZemScope::GetChannelsXRange(double& minimum, double& maximum) {
    bool any = false;
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        double low = 0.0;
        double high = 0.0;
        if (m_channels->GetChannel(index)->GetXRange(low, high)) {
            minimum = any ? std::min(minimum, low) : low;
            maximum = any ? std::max(maximum, high) : high;
            any = true;
        }
    }
    return any;
}

double TZemScope::GetDataXMin() {
    double minimum = 0.0;
    double maximum = 0.0;
    return GetChannelsXRange(minimum, maximum) ? minimum : TZemDataChart::GetDataXMin();
}

double TZemScope::GetDataXMax() {
    double minimum = 0.0;
    double maximum = 0.0;
    return GetChannelsXRange(minimum, maximum) ? maximum : TZemDataChart::GetDataXMax();
}

void TZemScope::InvalidateScales() {
    TZemDataChart::InvalidateScales();
    m_kindValid = false;
    m_sampleRateValid = false;
}

void TZemScope::ResetAutoScale() {
    GetYAxis()->ClearHistory();
    TZemDataChart::ResetAutoScale();
}

bool TZemScope::GetVisibleYRange(int64_t first, int64_t last, double& minimum, double& maximum) {
    bool any = false;
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        const TZemScopeChannel* channel = m_channels->GetChannel(index);
        const std::vector<double>& values = channel->GetDisplayY();
        if (!channel->GetVisible() || values.size() < 2) {
            continue;
        }
        const int64_t count = static_cast<int64_t>(values.size());
        const int64_t from = std::clamp<int64_t>(first, 0, count);
        const int64_t to = std::clamp<int64_t>(last, from, count);
        if (from >= to) {
            continue;
        }
        const auto [low, high] = std::minmax_element(values.begin() + from, values.begin() + to);
        minimum = any ? std::min(minimum, *low) : *low;
        maximum = any ? std::max(maximum, *high) : *high;
        any = true;
    }
    return any;
}

bool TZemScope::HasVisibleData() {
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        const TZemScopeChannel* channel = m_channels->GetChannel(index);
        if (channel->GetVisible() && !channel->GetDisplayY().empty()) {
            return true;
        }
    }
    return false;
}

// --- Refresh
// ---------------------------------------------------------------------------------------

void TZemScope::RequestAutoScaleReset(bool start) {
    if (start) {
        m_scalesResetRequested.store(true, std::memory_order_release);
    }
    m_autoScaleResetRequested.store(true, std::memory_order_release);
}

void TZemScope::ApplyRequests() {
    if (m_autoScaleResetRequested.exchange(false, std::memory_order_acq_rel)) {
        ResetAutoScale();
    }
}

bool TZemScope::CheckNewData() {
    ApplyRequests();
    if (GetHold()) {
        return false;
    }
    bool anyNew = false;
    bool startApplied = m_scalesResetRequested.exchange(false, std::memory_order_acq_rel);
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        TZemScopeChannel* channel = m_channels->GetChannel(index);
        if (channel->HasNewData()) {
            InvalidateLayout();
            anyNew |= channel->MoveIncomingData();
        }
    }
    if (startApplied) {
        // A start changed sample rates or the kind of data: the scale caches go.
        InvalidateScales();
    }
    size_t longest = 0;
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        const TZemScopeChannel* channel = m_channels->GetChannel(index);
        if (channel->GetVisible()) {
            longest = std::max(longest, channel->GetDisplayY().size());
        }
    }
    GetXAxis()->SetSampleCount(static_cast<int>(std::min<size_t>(longest, INT32_MAX)));
    if (anyNew) {
        InvalidateAxisValues();
        GetYAxis()->HistoryStep();
    }
    return IsLayoutNeeded();
}

// --- Rendering
// ---------------------------------------------------------------------------------------

bool TZemScope::IsChannelHighlighted(const TZemDisplayChannel* /*channel*/) const {
    // The pointer's hover state arrives with the mouse handling of the data view.
    return false;
}

TVokColor TZemScope::GetChannelHighlightColor() const {
    return GetHighlighting()->GetChannels()->GetColor();
}

void TZemScope::Render(TZemCanvas& canvas, const QRegion& region, bool exporting) {
    if (IsLayoutNeeded()) {
        Layout();
    }
    const int width = GetDrawWidth();
    const int height = GetDrawHeight();
    const bool whole = region.isEmpty();
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
    args.m_xMin = GetXAxis()->GetVisibleMin();
    args.m_xMax = GetXAxis()->GetVisibleMax();
    if (args.m_xMin == args.m_xMax) {
        args.m_xMin -= 1.0;
        args.m_xMax += 1.0;
    }
    args.m_yMax = GetYAxis()->GetVisibleMax();
    args.m_yMin = GetYAxis()->GetVisibleMin();
    GetYAxis()->GetMapping(args.m_yMax, args.m_yMin, args.m_yOffset, args.m_yScale);
    args.m_logarithmic = GetYAxis()->GetLogarithmic();
    args.m_exporting = exporting;
    args.m_vertical = IsVertical();

    TZemScopeDataView* dataView = GetScopeDataView();
    const TZemRect& viewRect = dataView->GetRect();
    TZemRect dataRect = viewRect;
    dataRect.m_bottom -= 1;
    auto meetsRegion = [&](const TZemRect& rect) {
        return !rect.IsEmpty() && (whole || region.intersects(QRect(rect.m_left, rect.m_top,
                                                                    rect.Width(), rect.Height())));
    };
    auto drawViews = [&](bool dataViewOnly) {
        for (const auto& view : m_views) {
            if (!view->IsShown() || (view.get() == dataView) != dataViewOnly) {
                continue;
            }
            if (meetsRegion(view->GetRect())) {
                view->DrawView(args);
            } else {
                view->SkipView(args);
            }
        }
    };

    if (whole) {
        // A whole frame draws the grid and the channels first, unclipped, then repaints the
        // area around the data view and draws the other views there. The picture is the one a
        // clip to the data view gives, without the clip (which the painter allocates).
        drawViews(true);
        DrawChannels(canvas, args, dataRect);
        canvas.SetBrush(GetColor(), zbsSolid);
        canvas.FillRect(0, 0, width, viewRect.m_top);
        canvas.FillRect(0, viewRect.m_bottom, width, height);
        canvas.FillRect(0, viewRect.m_top, viewRect.m_left, viewRect.m_bottom);
        canvas.FillRect(viewRect.m_right, viewRect.m_top, width, viewRect.m_bottom);
        drawViews(false);
    } else {
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
        canvas.SetClipRegion(region.intersected(
            QRect(viewRect.m_left, viewRect.m_top, viewRect.Width(), viewRect.Height())));
        if (meetsRegion(viewRect)) {
            DrawChannels(canvas, args, dataRect);
        }
    }
    for (const auto& view : m_views) {
        if (view->IsShown() && meetsRegion(view->GetRect())) {
            view->DrawOverlay(canvas);
        }
    }
    // The focus frame and the toolbar belong to the screen, never to an exported picture.
    if (!exporting) {
        if (HasFocus()) {
            canvas.ClearClip();
            canvas.FocusRect(0, 0, width, height);
        }
        DrawToolBar(canvas, region);
    }
}

void TZemScope::DrawChannels(TZemCanvas& canvas, const TZemDrawArgs& args,
                             const TZemRect& dataRect) {
    for (int index = 0; index < m_channels->GetCount(); ++index) {
        m_channels->GetChannel(index)->Draw(canvas, args, dataRect, args.m_xMin, args.m_xMax);
    }
}

void RegisterDisplayClasses() {
    RegisterVokClass(TZemScope::ClassInfo());
}
