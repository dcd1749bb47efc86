#include "display/ZemDataChart.h"

#include "display/ZemCanvas.h"
#include "display/ZemLegend.h"
#include "display/ZemScope.h"
#include "display/ZemScopeAxes.h"
#include "display/ZemScopeItems.h"
#include "display/ZemToolBar.h"

#include <QTimer>

#include <cctype>
#include <cmath>

const TVokClassInfo& TZemDataChart::ClassInfo() {
    using T = TZemDataChart;
    static const TVokClassInfo info(
        "TZemDataChart", &TZemDataDisplay::ClassInfo(), nullptr,
        {
            TVokProp::Object("InputPins", &T::GetInputPins),
            TVokProp::Collection("Cursors", &T::GetCursors),
            TVokProp::Collection("CursorLinks", &T::GetCursorLinks),
            TVokProp::Collection("MarkerGroups", &T::GetMarkerGroups),
            TVokProp::Object("XAxis", &T::GetXAxis),
            TVokProp::Object("YAxis", &T::GetYAxis),
            TVokProp::Object("Legend", &T::GetLegend),
            TVokProp::Object("Title", &T::GetTitle),
            TVokProp::Object("DataView", &T::GetScopeDataView),
            TVokProp::Integer("RefreshInterval", &T::GetRefreshInterval, &T::SetRefreshInterval,
                              100),
            TVokProp::Object("Trails", &T::GetTrails),
            TVokProp::Object("Highlighting", &T::GetHighlighting),
            TVokProp::Event("OnOverChannel", &T::GetOnOverChannel, &T::SetOnOverChannel),
            TVokProp::Event("OnLeaveChannel", &T::GetOnLeaveChannel, &T::SetOnLeaveChannel),
            TVokProp::Event("_XAxis", &T::m_expandHook, &T::m_expandHook),
            TVokProp::Event("_YAxis", &T::m_expandHook, &T::m_expandHook),
            TVokProp::Event("_Legend", &T::m_expandHook, &T::m_expandHook),
            TVokProp::Event("_Cursors", &T::m_expandHook, &T::m_expandHook),
            TVokProp::Event("_CursorLinks", &T::m_expandHook, &T::m_expandHook),
        });
    return info;
}

TZemDataChart::TZemDataChart(TVokComponent* owner)
    : TZemDataDisplay(owner), m_inputPins(std::make_unique<TVokPinList>(this, false)),
      m_cursors(std::make_unique<TZemDisplayCursors>(this)),
      m_cursorLinks(std::make_unique<TZemDisplayCursorLinks>(this)),
      m_markerGroups(std::make_unique<TZemScopeMarkerGroups>(this)),
      m_trails(std::make_unique<TZemDisplayTrails>(this)),
      m_highlighting(std::make_unique<TZemDisplayHighlighting>(this)),
      m_refreshTimer(new QTimer()) {
    SetToolBar(std::make_unique<TZemScopeToolBar>(this));
    m_title = new TZemDisplayTitle(this);
    m_views.Add(m_title);
    m_title->SetText("Scope");
    m_legend = new TZemScopeLegendView(this);
    m_views.Add(m_legend);
    m_xAxis = new TZemScopeXAxis(this);
    m_views.Add(m_xAxis);
    m_yAxis = new TZemScopeYAxis(this);
    m_views.Add(m_yAxis);
    m_dataView = new TZemScopeDataView(this);
    m_views.Add(m_dataView);
    m_refreshTimer->setInterval(m_refreshInterval);
    QObject::connect(m_refreshTimer, &QTimer::timeout,
                     [this] { ZemGuard("refreshing a display", [this] { RefreshTick(); }); });
    UpdateRefreshTimer();
}

TZemDataChart::~TZemDataChart() {
    delete m_refreshTimer;
    // No producer may reach a channel that is being freed: unlink every input pin first.
    for (int index = 0; index < m_inputPins->GetCount(); ++index) {
        if (TVokBasicPin* pin = m_inputPins->GetPin(index)) {
            pin->Disconnect();
        }
    }
}

QWidget* TZemDataChart::CreateWidget() {
    return TZemDataDisplay::CreateWidget();
}

TZemDisplayView* TZemDataChart::GetDataView() const {
    return m_dataView;
}

void TZemDataChart::Loaded() {
    TZemDataDisplay::Loaded();
    UpdateRefreshTimer();
}

void TZemDataChart::SetRefreshInterval(int milliseconds) {
    m_refreshInterval = std::max(0, milliseconds);
    UpdateRefreshTimer();
}

void TZemDataChart::UpdateRefreshTimer() {
    if (m_refreshInterval > 0 && !IsDesigning()) {
        m_refreshTimer->start(m_refreshInterval);
    } else {
        m_refreshTimer->stop();
    }
}

void TZemDataChart::RefreshTick() {
    if (CheckNewData()) {
        RedrawDisplay();
    }
}

// --- Scale information -------------------------------------------------------------------------

double TZemDataChart::GetFrequencyMax() {
    if (!m_frequencyMaxValid) {
        m_frequencyMax = GetSampleRate() / 2.0 / std::pow(10.0, m_xAxis->GetUnitExponent());
        m_frequencyMaxValid = true;
    }
    return m_frequencyMax;
}

double TZemDataChart::GetTimeMax() {
    if (!m_timeMaxValid) {
        const double samples = m_xAxis->GetSampleCount();
        m_timeMax = (samples - 1.0) / GetSampleRate() * std::pow(10.0, m_xAxis->GetUnitExponent());
        m_timeMaxValid = true;
    }
    return m_timeMax;
}

double TZemDataChart::GetDataXMin() {
    return 0.0;
}

double TZemDataChart::GetDataXMax() {
    return m_xAxis->GetSampleCount() - 1.0;
}

void TZemDataChart::InvalidateScales() {
    m_frequencyMaxValid = false;
    m_timeMaxValid = false;
}

void TZemDataChart::ResetAutoScale() {
    RedrawDisplay();
}

void TZemDataChart::InvalidateAxisValues() {
    m_xAxis->InvalidateValues();
    m_yAxis->InvalidateValues();
}

// --- Ranges and zoom ----------------------------------------------------------------------------

double TZemDataChart::GetVisibleXMin() {
    return m_xAxis->GetVisibleMin();
}
double TZemDataChart::GetVisibleXMax() {
    return m_xAxis->GetVisibleMax();
}
double TZemDataChart::GetVisibleYMin() {
    return m_yAxis->GetVisibleMin();
}
double TZemDataChart::GetVisibleYMax() {
    return m_yAxis->GetVisibleMax();
}

void TZemDataChart::SetVisibleRange(TZemZoomOperation /*operation*/, const TZemRealRange& yRange,
                                    const TZemRealRange& xRange) {
    m_yAxis->SetZoomRange(yRange.m_min, yRange.m_max);
    m_xAxis->SetZoomRange(xRange.m_min, xRange.m_max);
    SetZoomedFlag(true);
    InvalidateAxisValues();
    RedrawDisplay();
}

void TZemDataChart::ResetVisibleRange() {
    SetZoomedFlag(false);
    RedrawDisplay();
    InvalidateAxisValues();
}

void TZemDataChart::ZoomAxes(double factorY, double factorX) {
    m_yAxis->ZoomByFactor(factorY);
    m_xAxis->ZoomByFactor(factorX);
    InvalidateAxisValues();
}

// --- Formatting ---------------------------------------------------------------------------------

std::string TZemDataChart::FormatValueText(const std::string& format,
                                           const std::string& defaultFormat, double xValue,
                                           double yValue) {
    const std::string& used = format.empty() ? defaultFormat : format;
    return ZemExpandValueFormat(used, defaultFormat, [&](char code) {
        if (code == 'X') {
            return m_xAxis->FormatLabel(xValue);
        }
        return code == 'Y' ? m_yAxis->FormatLabel(yValue) : std::string();
    });
}
