#pragma once

#include "display/ZemDataDisplay.h"
#include "pins/VokPinList.h"

#include <functional>
#include <memory>

class TZemScopeXAxis;
class TZemScopeYAxis;
class TZemScopeLegendView;
class TZemDisplayTitle;
class TZemScopeDataView;
class TZemDisplayCursors;
class TZemDisplayCursorLinks;
class TZemScopeMarkerGroups;
class TZemDisplayTrails;
class TZemDisplayHighlighting;
class TZemDisplayChannel;
class TZemDisplayCollection;

/// A channel of a chart was hovered: (chart, channel index, begin sample, end sample, X, Y).
using TZemOverChannelEvent = std::function<void(
    TZemDataDisplay* sender, int channelIndex, int beginSample, int endSample, double x, double y)>;
using TZemNotifyEvent = std::function<void(TZemDataDisplay* sender)>;
/// Design-time expansion hooks of the form (`_XAxis`, `_Channels`, …): accepted and ignored.
using TGorPropertyExpandEvent = std::function<void()>;

/// A display with X and Y axes, legend, title and data view, input pins, cursors, cursor links
/// and marker groups, and a refresh timer that throttles repainting while data streams in.
///
/// Views, in layout and paint order: title (top), legend (right), X axis (bottom; left when
/// vertical), Y axis (left; bottom when vertical), data view (client).
///
/// Published: `InputPins`, `Cursors`, `CursorLinks`, `MarkerGroups`, `XAxis`, `YAxis`, `Legend`,
/// `Title`, `DataView`, `RefreshInterval` (100 ms; 0 stops the timer), `Trails`, `Highlighting`,
/// `OnOverChannel`, `OnLeaveChannel`, and the ignored hooks `_XAxis`, `_YAxis`, `_Legend`,
/// `_Cursors`, `_CursorLinks`.
class TZemDataChart : public TZemDataDisplay {
  public:
    explicit TZemDataChart(TVokComponent* owner);
    ~TZemDataChart() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokPinList* GetInputPins() const { return m_inputPins.get(); }
    TZemDisplayCursors* GetCursors() const { return m_cursors.get(); }
    TZemDisplayCursorLinks* GetCursorLinks() const { return m_cursorLinks.get(); }
    TZemScopeMarkerGroups* GetMarkerGroups() const { return m_markerGroups.get(); }
    TZemScopeXAxis* GetXAxis() const { return m_xAxis; }
    TZemScopeYAxis* GetYAxis() const { return m_yAxis; }
    TZemScopeLegendView* GetLegend() const { return m_legend; }
    TZemDisplayTitle* GetTitle() const { return m_title; }
    TZemScopeDataView* GetScopeDataView() const { return m_dataView; }
    TZemDisplayView* GetDataView() const override;
    TZemDisplayTrails* GetTrails() const { return m_trails.get(); }
    TZemDisplayHighlighting* GetHighlighting() const { return m_highlighting.get(); }

    int GetRefreshInterval() const { return m_refreshInterval; }
    void SetRefreshInterval(int milliseconds);

    const TZemOverChannelEvent& GetOnOverChannel() const { return m_onOverChannel; }
    void SetOnOverChannel(TZemOverChannelEvent handler) { m_onOverChannel = std::move(handler); }
    const TZemNotifyEvent& GetOnLeaveChannel() const { return m_onLeaveChannel; }
    void SetOnLeaveChannel(TZemNotifyEvent handler) { m_onLeaveChannel = std::move(handler); }

    // --- The channels, as the axes and the legend see them ------------------------------------
    /// The channel collection (the scope's `Channels`).
    virtual TZemDisplayCollection* GetChannelCollection() const = 0;
    virtual int GetChannelCount() const = 0;
    virtual TZemDisplayChannel* GetChannel(int index) const = 0;

    // --- Scale information (GUI thread; cached until `InvalidateScales`) ---------------------
    virtual bool HasSpectrumChannel() = 0;
    virtual bool HasIntensityChannel() = 0;
    /// The highest sample rate of the visible channels; 10000 when none is known.
    virtual double GetSampleRate() = 0;
    double GetFrequencyMin() { return 0.0; }
    /// Half the sample rate ÷ 10^E (E: the X axis's unit exponent).
    double GetFrequencyMax();
    double GetTimeMin() { return 0.0; }
    /// (X samples − 1) ÷ sample rate × 10^E.
    double GetTimeMax();
    /// The X data range of the channels that hold data (0 and X samples − 1 without any).
    virtual double GetDataXMin();
    virtual double GetDataXMax();
    void InvalidateTimeScale() { m_timeMaxValid = false; }
    virtual void InvalidateScales();
    /// Empties the Y autoscale history and repaints.
    virtual void ResetAutoScale();
    /// The smallest and largest Y sample over samples [first, last) of the visible channels that
    /// hold more than one sample; false when no channel qualifies.
    virtual bool GetVisibleYRange(int64_t first, int64_t last, double& minimum,
                                  double& maximum) = 0;
    /// True when a visible channel holds any data.
    virtual bool HasVisibleData() = 0;

    // --- Display operations -------------------------------------------------------------------
    double GetVisibleXMin() override;
    double GetVisibleXMax() override;
    double GetVisibleYMin() override;
    double GetVisibleYMax() override;
    std::string FormatValueText(const std::string& format, const std::string& defaultFormat,
                                double xValue, double yValue) override;
    void SetVisibleRange(TZemZoomOperation operation, const TZemRealRange& yRange,
                         const TZemRealRange& xRange) override;
    void ResetVisibleRange() override;
    void ZoomAxes(double factorY, double factorX) override;

    /// Drops both axes' cached values.
    void InvalidateAxisValues();

  protected:
    void Loaded() override;
    QWidget* CreateWidget() override;
    /// Starts or stops the refresh timer after the interval or the design state changed.
    void UpdateRefreshTimer();
    /// The refresh tick: `CheckNewData`, then a repaint when it asks for one.
    void RefreshTick();

    bool m_frequencyMaxValid = false;
    double m_frequencyMax = 0.0;
    bool m_timeMaxValid = false;
    double m_timeMax = 0.0;

  private:
    std::unique_ptr<TVokPinList> m_inputPins;
    std::unique_ptr<TZemDisplayCursors> m_cursors;
    std::unique_ptr<TZemDisplayCursorLinks> m_cursorLinks;
    std::unique_ptr<TZemScopeMarkerGroups> m_markerGroups;
    std::unique_ptr<TZemDisplayTrails> m_trails;
    std::unique_ptr<TZemDisplayHighlighting> m_highlighting;
    // Views, owned by the view list.
    TZemDisplayTitle* m_title = nullptr;
    TZemScopeLegendView* m_legend = nullptr;
    TZemScopeXAxis* m_xAxis = nullptr;
    TZemScopeYAxis* m_yAxis = nullptr;
    TZemScopeDataView* m_dataView = nullptr;
    int m_refreshInterval = 100;
    QTimer* m_refreshTimer = nullptr; ///< child of the widget
    TZemOverChannelEvent m_onOverChannel;
    TZemNotifyEvent m_onLeaveChannel;
    TGorPropertyExpandEvent m_expandHook;

    friend class TZemScope;
};
