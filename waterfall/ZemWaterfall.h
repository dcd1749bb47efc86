#pragma once

// The scrolling spectrogram display: every spectrum that reaches its input pin becomes one column
// (one row when vertical) of a colour image, coloured by the level view and scrolled as new
// spectra arrive; around it a title, the history and bin axes, a legend of marker groups, the
// level view and the toolbar.

#include "buffers/ZemVokStreamPins.h"
#include "display/ZemDataDisplay.h"
#include "pins/VokObject.h"
#include "waterfall/ZemWaterfallBuffers.h"

#include <QImage>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QTimer;
class TZemBasicWaterfall;
class TZemDisplayLevelView;
class TZemDisplayTitle;
class TZemWaterfall;
class TZemWaterfallHighlighting;
class TZemWaterfallLegendView;
class TZemWaterfallMarkerGroups;
class TZemWaterfallXAxis;
class TZemWaterfallYAxis;
class TZemRealBuffer;

/// Design-time expansion hooks of the form (`_XAxis`, `_YAxis`, `_Levels`): accepted, ignored.
using TZemWaterfallExpandEvent = std::function<void()>;

/// The image area: owns the pixel image (one pixel per stored spectrum and bin, 0x00RRGGBB),
/// scrolls and fills it, and stretches the visible part into the view. GUI thread only; the
/// image is read and written under the waterfall's data lock.
class TZemBasicWaterfallDataView : public TZemDisplayView {
  public:
    explicit TZemBasicWaterfallDataView(TZemBasicWaterfall* waterfall);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    void GetPreferredSize(int& width, int& height) const override {
        width = -1;
        height = -1;
    }
    TZemViewAlignment GetAlignment() const override { return zvaClient; }

    /// The value under display pixel (x, y); `overData` tells whether a stored spectrum (and a
    /// bin it holds) lies there. Beyond the stored spectra the answer is the level minimum and
    /// the "beyond data" flag is set. Takes the data lock.
    virtual double UpdateValueUnderMouse(int x, int y, bool& overData) = 0;
    /// Colours the pixels of the stored spectra from `first` to the last (data lock held).
    virtual void FillImage(int first) = 0;
    /// True (once) when the level range or the logarithmic flag changed since the image was
    /// coloured, or a full re-colouring was requested: remembers the new values.
    virtual bool LevelsChanged() = 0;

    /// The image as kept (RGB32; its width is the padded pitch); null before the first paint.
    const QImage& GetImage() const { return m_image; }
    int GetLastCount() const { return m_lastCount; }

  protected:
    TZemBasicWaterfall* m_waterfall;
    QImage m_image;
    /// The history count at the last paint (how far to scroll).
    int m_lastCount = 0;
    /// Set when the pointer was last found beyond the stored spectra.
    bool m_beyondData = false;

    friend class TZemBasicWaterfall;
    friend class TZemWaterfall;
};

/// The image area bound to its `TZemWaterfall`: value look-up, fill and level-change test.
class TZemWaterfallDataView : public TZemBasicWaterfallDataView {
  public:
    explicit TZemWaterfallDataView(TZemWaterfall* waterfall);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    double UpdateValueUnderMouse(int x, int y, bool& overData) override;
    void FillImage(int first) override;
    bool LevelsChanged() override;

  private:
    TZemWaterfall* m_owner;
    /// Colours of a block of spectra on their way into the image (keeps its capacity).
    std::vector<uint32_t> m_fillScratch;
};

/// The spectrogram control without its data: title, history axis, bin axis, legend, marker
/// groups, highlighting, hold, refresh timer and zoom rules over the history and bin windows.
///
/// Views, in layout and paint order: title, history axis, bin axis, legend, level view, data
/// view. Published: `Title` ("Waterfall"), `XAxis`, `YAxis`, `Legend`, `MarkerGroups`,
/// `Highlighting`, `Vertical` (false), `RefreshInterval` (100 ms), hooks `_XAxis`, `_YAxis`.
class TZemBasicWaterfall : public TZemDataDisplay {
  public:
    explicit TZemBasicWaterfall(TVokComponent* owner);
    ~TZemBasicWaterfall() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayTitle* GetTitle() const { return m_title; }
    TZemWaterfallXAxis* GetXAxis() const { return m_xAxis; }
    TZemWaterfallYAxis* GetYAxis() const { return m_yAxis; }
    TZemWaterfallLegendView* GetLegend() const { return m_legend; }
    TZemWaterfallMarkerGroups* GetMarkerGroups() const { return m_markerGroups.get(); }
    TZemWaterfallHighlighting* GetHighlighting() const { return m_highlighting.get(); }
    bool GetVertical() const { return m_vertical; }
    /// A change rebuilds the image and re-lays out.
    void SetVertical(bool value);
    bool IsVertical() const override { return m_vertical; }
    /// The bin axis's sense is inverted when vertical.
    bool IsVerticalReversed() const override { return true; }
    int GetRefreshInterval() const { return m_refreshInterval; }
    /// 0 stops the timer.
    void SetRefreshInterval(int milliseconds);

    // --- What the axes, the toolbar and the level view ask -------------------------------------
    bool HasMarkerGroups() const;
    /// The sample rate of the last start; 10000 when none (or 0) was received. GUI thread.
    virtual double GetSampleRate() const = 0;
    /// Whether the last start announced spectra (or intensity data). GUI thread.
    virtual bool IsSpectrumData() const = 0;
    virtual bool IsIntensityData() const = 0;
    double GetFrequencyStart() const { return 0.0; }
    /// Half the sample rate in the bin axis's unit, kept until the next clear.
    double GetFrequencyEnd();
    /// The unit exponent 3k of `GetFrequencyEnd` (the value is in hertz ÷ 10^3k).
    int GetFrequencyExponent();
    /// The bin count of the oldest stored spectrum (500 before any, 512 for a length of 0).
    virtual int GetBinCount() const = 0;
    /// The number of stored spectra.
    virtual int GetRowCount() const = 0;

    /// The history axis's capacity changed (0 stored as 1024): the store keeps the newest
    /// spectra that still fit and the image is rebuilt.
    virtual void SamplesChanged() {}
    /// Rebuilds the image at the next paint (orientation or `XAxis.Reversed` changed).
    void OrientationChanged() override;
    /// The read-out text of `format` ("%X : %Y : %Z" when empty): "%X" the history value as the
    /// history axis labels it, "%Y" the bin axis value, "%Z" the level; "%%", "%D" as for every
    /// display.
    std::string FormatReadout(const std::string& format, double xValue, double yValue,
                              double zValue);
    /// The level text of a read-out (the level view's format); the value itself in the base.
    virtual std::string FormatLevelValue(double value);

    // --- Display operations ---------------------------------------------------------------
    TZemDisplayView* GetDataView() const override;
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
    std::string GetPrintTitle() const override { return "Waterfall"; }

    /// True while the toolbar's zoom-out button is offered: zoomed and either window does not
    /// cover its axis.
    bool CanZoomOut();

    /// The default read-out template.
    static constexpr const char* kDefaultReadout = "%X : %Y : %Z";

  protected:
    void Loaded() override;
    /// The refresh tick: a read section on the pin group, then a repaint when new spectra
    /// arrived.
    virtual void RefreshTimerTick() = 0;
    void UpdateRefreshTimer();

    /// The pin group lock object: joined with the input pin.
    TVokObject m_pinGroup;
    /// The image area (made by the derived class, owned by the view list).
    TZemBasicWaterfallDataView* m_basicDataView = nullptr;
    bool m_frequencyEndValid = false;
    double m_frequencyEnd = 0.0;
    int m_frequencyExponent = 0;

  private:
    TZemDisplayTitle* m_title = nullptr;
    TZemWaterfallXAxis* m_xAxis = nullptr;
    TZemWaterfallYAxis* m_yAxis = nullptr;
    TZemWaterfallLegendView* m_legend = nullptr;
    std::unique_ptr<TZemWaterfallMarkerGroups> m_markerGroups;
    std::unique_ptr<TZemWaterfallHighlighting> m_highlighting;
    bool m_vertical = false;
    int m_refreshInterval = 100;
    QTimer* m_refreshTimer = nullptr; ///< owned; moved under the widget when it is made
    TZemWaterfallExpandEvent m_expandHook;

    friend class TZemWaterfall;
};

/// The data entry of a waterfall for code that feeds it without a pin. Any thread.
class TZemWaterfallData {
  public:
    explicit TZemWaterfallData(TZemWaterfall* waterfall) : m_waterfall(waterfall) {}

    /// The raw rate of the last start (0 when none), as a start notification sets it.
    double GetSampleRate() const;
    void SetSampleRate(double value);
    /// Adds one spectrum of `count` values as if it came through the pin.
    void AddData(const int32_t* values, uint32_t count);
    void AddData(const float* values, uint32_t count);
    void AddData(const double* values, uint32_t count);
    /// Empties the display (as a start does).
    void Clear();
    /// The stored spectra, oldest first, as new real buffers.
    std::vector<TRef<TZemRealBuffer>> GetHistory() const;
    /// The newest `XAxis.Samples` of the stored and the held spectra, oldest first.
    std::vector<TRef<TZemRealBuffer>> GetHistoryWithPending() const;

  private:
    TZemWaterfall* m_waterfall;
};

/// The waterfall with its input pin, spectrum store, image area and level view.
///
/// Threads: producer threads reach it through `InputPin` (or `TZemWaterfallData`): they store
/// spectra under the data lock and record what the GUI thread must apply (a start, a moved
/// level range, the bin count) in atomics; the GUI thread applies it in the refresh and the
/// paint. Lock order: the pin group (global, then group), then the data lock.
///
/// Published: `InputPin` (real and integer buffer streams), `Levels`, hook `_Levels`.
class TZemWaterfall : public TZemBasicWaterfall {
  public:
    explicit TZemWaterfall(TVokComponent* owner);
    ~TZemWaterfall() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemVokComboRealIntSinkPin* GetInputPin() const { return m_inputPin.get(); }
    TZemDisplayLevelView* GetLevels() const { return m_levels; }
    TZemWaterfallDataView* GetWaterfallDataView() const { return m_dataView; }
    TZemWaterfallData& GetData() { return m_data; }

    // --- Store (any thread; take the data lock) -----------------------------------------------
    /// Adds a spectrum: held (to `Pending`) while `Hold` or a drag-zoom is on, else stored.
    void AddSpectrum(const double* values, uint32_t count);
    /// Empties the store (a start, or the data entry); while held the history is kept until
    /// the hold is released. Records the clear for the GUI thread.
    void ClearData();
    /// The rate and kind of the last start (a start notification sets them); any thread.
    void SetRawSampleRate(double rate, bool spectrum, bool intensity);
    /// Sets the rate alone, keeping the kind.
    void SetRawSampleRate(double rate);
    double GetRawSampleRate() const;
    std::vector<TRef<TZemRealBuffer>> SnapshotHistory(bool withPending) const;

    // --- Waterfall operations (GUI thread) ------------------------------------------------------
    double GetSampleRate() const override;
    bool IsSpectrumData() const override { return m_spectrum; }
    bool IsIntensityData() const override { return m_intensity; }
    int GetBinCount() const override;
    int GetRowCount() const override;
    int GetNewRowCount() const { return static_cast<int>(m_newRows.load()); }
    /// The level range used to colour: the running extremes with `Levels.Axis.Autoscale` and
    /// data, otherwise `Levels.Axis.Min` / `Max`.
    double GetLevelMin();
    double GetLevelMax();
    void SamplesChanged() override;
    std::string FormatLevelValue(double value) override;

    void SetHold(bool value) override;
    /// Requests a full re-colouring, then a repaint (settings changed).
    void RedrawDisplay() override;
    /// A repaint that keeps the image as it is (new spectra, hold).
    void Repaint() { TZemDataDisplay::RedrawDisplay(); }
    bool CheckNewData() override;
    void Render(TZemCanvas& canvas, const QRegion& region, bool exporting) override;
    /// Brings the image up to date and stretches it into the data view.
    void PaintImage(TZemCanvas& canvas);
    /// The data lock (guards the store and the image).
    std::mutex& GetDataLock() const { return m_dataLock; }
    const TZemWaterfallBuffers& GetBuffers() const { return m_buffers; }
    /// Requests a full re-colouring at the next paint (colours changed).
    void RequestRecolour() { m_recolourRequested = true; }

    /// Nearest-pixel (false, the default: the frame budget allows no more) or bilinear (true)
    /// stretch of the image into the view.
    void SetSmoothStretch(bool value) { m_smoothStretch = value; }

  protected:
    void RefreshTimerTick() override;

  private:
    friend class TZemWaterfallDataView;

    TVokNotifyResults HandlePinOperation(TVokBasicPin* pin, const TVokGuid& typeId,
                                         TVokNotifyFlags flags, TVokNotifyOperation* operation);
    /// Applies what producer threads recorded (start, bin count, level range moves).
    void ApplyRequests();
    // The following run with the data lock held.
    double LevelMinLocked() const;
    double LevelMaxLocked() const;
    /// True (once) when the level range or the logarithmic flag moved since the image was
    /// coloured, or a re-colouring was requested.
    bool LevelsChangedLocked();
    /// Stores the held spectra in order (the pin-group write section is held too).
    void ReleasePendingLocked();
    void UpdateHoldingDataLocked();
    /// Moves the image by `steps` history steps toward the older end.
    void ScrollImage(int steps);
    /// Paints the part of the history dimension without spectra in the display colour.
    void FillBackground(int count, int samples, int bins);

    mutable std::mutex m_dataLock; ///< guards m_buffers, m_holdingData, m_clearPending,
                                   ///< m_rawRate, m_rawSpectrum, m_rawIntensity, the image
    TZemWaterfallBuffers m_buffers;
    bool m_holdingData = false;  ///< Hold or a drag-zoom: spectra go to Pending
    bool m_clearPending = false; ///< a clear happened: the image is coloured afresh
    bool m_dragging = false;     ///< a drag-zoom is in progress (GUI thread)
    double m_rawRate = 0.0;
    bool m_rawSpectrum = false;
    bool m_rawIntensity = false;
    std::atomic<uint32_t> m_newRows{0};
    std::atomic<bool> m_startRequested{false};
    std::atomic<bool> m_levelsMoved{false};
    // GUI-thread copies of the producer's state.
    double m_sampleRate = 0.0;
    bool m_spectrum = false;
    bool m_intensity = false;
    bool m_recolourRequested = true;
    double m_paintedMin = 0.0;
    double m_paintedMax = 0.0;
    bool m_paintedLogarithmic = false;
    bool m_smoothStretch = false;

    TVokPinPtr<TZemVokComboRealIntSinkPin> m_inputPin;
    TZemDisplayLevelView* m_levels = nullptr;    ///< owned by the view list
    TZemWaterfallDataView* m_dataView = nullptr; ///< owned by the view list
    TZemWaterfallData m_data{this};
    TZemWaterfallExpandEvent m_expandHook;
};

/// Registers `TZemWaterfall` with the form reader. Idempotent.
void RegisterWaterfallClasses();
