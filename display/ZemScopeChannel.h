#pragma once

#include "buffers/ZemVokStreamPins.h"
#include "display/ZemDisplayCollection.h"
#include "display/ZemDisplayTypes.h"
#include "display/ZemDisplayView.h"

#include <QPoint>
#include <QRect>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TZemCanvas;
class TZemDataChart;
class TZemScope;
class TZemScopeChannel;
class TZemDisplayChannelLink;
class TZemScopeChannelMarkers;

enum TZemScopeChannelMode : uint8_t { cmLine, cmBar, cmPoint };
enum TZemChannelShadeMode : uint8_t { csmZero, csmTop, csmBottom };
enum TZemScopePointsShape : uint8_t { psCircle, psSquare, psDiamond, psPlus, psCross, psStar };

/// A trace of a chart: colour, width, the X and Y values on display and their pixel caches.
/// GUI thread only. Published: `Color`, `Width` (1; below 1 → 1, above 2000 → 2000).
class TZemDisplayChannel : public TZemOptionalDisplayCollectionItem {
  public:
    explicit TZemDisplayChannel(TVokExtCollection* collection);
    ~TZemDisplayChannel() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    int32_t GetWidth() const { return m_width; }
    void SetWidth(int32_t value);
    TVokColor GetItemColor() const override { return m_color; }

    /// The chart of the channel's collection, or null.
    TZemDataChart* GetChart() const;
    /// Cursor channel links pointing to this channel (not owned; freed with the channel).
    void RegisterLink(TZemDisplayChannelLink* link);
    void UnregisterLink(TZemDisplayChannelLink* link);

    /// The values on display (GUI thread; written under the display lock by scope channels).
    const std::vector<double>& GetDisplayX() const { return m_displayX; }
    const std::vector<double>& GetDisplayY() const { return m_displayY; }
    /// Pixel positions of the last drawing (horizontal and vertical pixel of each sample).
    const std::vector<int32_t>& GetPixelX() const { return m_pixelX; }
    const std::vector<int32_t>& GetPixelY() const { return m_pixelY; }

  protected:
    std::vector<double> m_displayX;
    std::vector<double> m_displayY;
    std::vector<double> m_unitX; ///< display X in axis units (cache)
    std::vector<int32_t> m_pixelX;
    std::vector<int32_t> m_pixelY;

  private:
    TVokColor m_color = 0x0000FF;
    int32_t m_width = 1;
    std::vector<TZemDisplayChannelLink*> m_links;
};

/// The point markers of a scope channel. Published: `Visible` (false), `Shape` (psCircle),
/// `Size` (3: half-size in pixels), `Brush` and `Pen` (red), `UseChannelColor` (true); the
/// older "Color" (two integers: pen colour, then brush colour) is read. Changes repaint.
class TZemScopePoints : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopePoints(TZemScopeChannel* channel);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void DefineProperties(TVokFiler& filer) override;

    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    TZemScopePointsShape GetShape() const { return m_shape; }
    void SetShape(TZemScopePointsShape value);
    uint32_t GetSize() const { return m_size; }
    void SetSize(uint32_t value);
    TVokBrush* GetBrush() const { return m_brush.get(); }
    TVokPen* GetPen() const { return m_pen.get(); }
    bool GetUseChannelColor() const { return m_useChannelColor; }
    void SetUseChannelColor(bool value);

  private:
    void Changed();

    TZemScopeChannel* m_channel;
    bool m_visible = false;
    TZemScopePointsShape m_shape = psCircle;
    uint32_t m_size = 3;
    std::unique_ptr<TVokBrush> m_brush;
    std::unique_ptr<TVokPen> m_pen;
    bool m_useChannelColor = true;
};

using TZemSampleDrawEvent =
    std::function<void(TZemScopeChannel* sender, double xValue, double yValue, TZemCanvas& canvas,
                       bool highlighted, bool& defaultDraw)>;
using TZemChannelDrawEvent = std::function<void(
    TZemDataDisplay* sender, int channelIndex, double* channelData, int dataSize, bool wasChanged)>;

/// A trace of the scope: owns the sink pin through which buffers or single values arrive on the
/// producer's thread, keeps them as incoming data, hands them to the GUI thread on the refresh
/// timer and draws them as a line, bars or points.
///
/// Threads and locks: the pin handler runs on producer threads and touches only the incoming
/// data and the start/rate records, under `m_incomingLock`, and atomic flags. Everything else
/// runs on the GUI thread. `m_displayLock` is held while display data are replaced and while the
/// chart reads the X range; drawing reads display data without it (only the GUI thread writes
/// them). Lock order: incoming, then display.
///
/// Published: `InputPin`, `ChannelMode` (cmLine), `ShadeMode` (csmZero), `Points`, `Markers`,
/// `OnSampleDraw`, `OnChannelDraw`.
class TZemScopeChannel : public TZemDisplayChannel {
  public:
    explicit TZemScopeChannel(TVokExtCollection* collection);
    ~TZemScopeChannel() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// Renames the channel's entry in the scope's `InputPins` too.
    void SetName(const std::string& name) override;

    TZemVokComboRealIntSinkPin* GetInputPin() const { return m_inputPin.get(); }
    TZemScope* GetScope() const;
    TZemScopeChannelMode GetChannelMode() const { return m_channelMode; }
    void SetChannelMode(TZemScopeChannelMode value);
    TZemChannelShadeMode GetShadeMode() const { return m_shadeMode; }
    void SetShadeMode(TZemChannelShadeMode value);
    TZemScopePoints* GetPoints() const { return m_points.get(); }
    TZemScopeChannelMarkers* GetMarkers() const { return m_markers.get(); }
    const TZemSampleDrawEvent& GetOnSampleDraw() const { return m_onSampleDraw; }
    void SetOnSampleDraw(TZemSampleDrawEvent handler) { m_onSampleDraw = std::move(handler); }
    const TZemChannelDrawEvent& GetOnChannelDraw() const { return m_onChannelDraw; }
    void SetOnChannelDraw(TZemChannelDrawEvent handler) { m_onChannelDraw = std::move(handler); }

    /// Sample rate (10000 until a start carries one) and the kind of data, as applied on the GUI
    /// thread at the last refresh.
    double GetSampleRate() const { return m_sampleRate; }
    bool IsSpectrum() const { return m_spectrum; }
    bool IsIntensity() const { return m_intensity; }

    // --- Producer side (any thread) ------------------------------------------------------------
    /// Stores a supplied buffer of doubles (see the scope's `SizeLimit` rules).
    void StoreSamples(const double* samples, size_t count);
    /// Stores one supplied value.
    void StoreValue(double value);
    bool HasNewData() const { return m_newData.load(std::memory_order_acquire); }

    // --- GUI side ----------------------------------------------------------------------------
    /// Applies a recorded start and moves incoming data to display data (refresh step).
    /// Answers whether anything was moved.
    bool MoveIncomingData();
    /// Cuts the incoming data to their first `limit` samples (a lower `SizeLimit`).
    void CutIncoming(size_t limit);
    /// The X data range of the display data under the display lock; false when empty.
    bool GetXRange(double& minimum, double& maximum);
    /// Draws the channel into the data rectangle (the data view's rectangle, bottom one higher).
    void Draw(TZemCanvas& canvas, const TZemDrawArgs& args, const TZemRect& dataRect, double xMin,
              double xMax);

  private:
    TVokNotifyResults HandlePinOperation(TVokBasicPin* pin, const TVokGuid& typeId,
                                         TVokNotifyFlags flags, TVokNotifyOperation* operation);
    void ComputeXPixels(const TZemRect& dataRect, double xMin, double xMax);
    void ComputeYPixels(const TZemDrawArgs& args, const TZemRect& dataRect);
    void DrawPass(TZemCanvas& canvas, const TZemDrawArgs& args, const TZemRect& dataRect,
                  bool highlighted);
    void DrawPoints(TZemCanvas& canvas, bool highlighted, TVokColor highlightColor);

    TVokPinPtr<TZemVokComboRealIntSinkPin> m_inputPin;
    TZemScopeChannelMode m_channelMode = cmLine;
    TZemChannelShadeMode m_shadeMode = csmZero;
    std::unique_ptr<TZemScopePoints> m_points;
    std::unique_ptr<TZemScopeChannelMarkers> m_markers;
    TZemSampleDrawEvent m_onSampleDraw;
    TZemChannelDrawEvent m_onChannelDraw;

    /// Guards m_incomingX, m_incomingY and the m_pending* start record.
    std::mutex m_incomingLock;
    /// Guards the replacement of m_displayX/m_displayY and reads of them from other objects.
    std::mutex m_displayLock;
    std::vector<double> m_incomingX;
    std::vector<double> m_incomingY;
    bool m_pendingStart = false;
    double m_pendingRate = 10000.0;
    bool m_pendingSpectrum = false;
    std::atomic<bool> m_newData{false};

    // GUI thread only.
    bool m_displayChanged = false;
    double m_sampleRate = 10000.0;
    bool m_spectrum = false;
    bool m_intensity = false;
    std::vector<double> m_work;          ///< the Y values of the last drawing
    std::vector<float> m_workSingle;     ///< narrowed Y values
    std::vector<QPoint> m_points2d;      ///< polyline vertices
    std::vector<QRect> m_bars;           ///< bar rectangles of one pass
    std::vector<int32_t> m_xValuePixels; ///< pixel of each X value along the X direction (cached)
    std::vector<int32_t> m_yValuePixels; ///< pixel of each Y value along the Y direction
    struct TPixelKey {
        size_t m_count = SIZE_MAX;
        int m_span = 0;
        int m_origin = 0;
        double m_dataMin = 0.0;
        double m_dataMax = 0.0;
        double m_visibleMin = 0.0;
        double m_visibleMax = 0.0;
        friend bool operator==(const TPixelKey&, const TPixelKey&) = default;
    } m_pixelKey;
    int32_t m_boxLeft = 0;
    int32_t m_boxRight = 0;
    int32_t m_boxTop = 0;
    int32_t m_boxBottom = 0;
};

/// A scope's channels. Adding a channel gives it the palette colour used by the fewest channels.
class TZemScopeChannels : public TZemDisplayCollection {
  public:
    explicit TZemScopeChannels(TZemScope* scope);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    TZemScopeChannel* GetChannel(int index) const {
        return static_cast<TZemScopeChannel*>(GetItem(index));
    }

  protected:
    void ItemAdded(TVokExtCollectionItem* item) override;
};
