#pragma once

#include "display/ZemControl.h"
#include "display/ZemDisplayTypes.h"
#include "display/ZemDisplayView.h"

#include <QImage>
#include <QRegion>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class QTimer;
class TZemCanvas;
class TZemDataDisplay;
class TZemDisplayToolBar;

/// Zoom settings of a display (`Zooming`). Published: `MouseZoom` (true), `KeyboardZoom` (true),
/// `SelectionColor` (white: pen of the zoom rectangle), `MouseWheelEnabled` (true),
/// `HoldOnZoom` (true: a rectangle or range zoom also holds the picture).
class TZemDisplayZoom : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayZoom(TZemDataDisplay* display) : m_display(display) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDataDisplay* GetDisplay() const { return m_display; }
    bool m_mouseZoom = true;
    bool m_keyboardZoom = true;
    TVokColor m_selectionColor = 0xFFFFFF;
    bool m_mouseWheelEnabled = true;
    bool m_holdOnZoom = true;

  private:
    TZemDataDisplay* m_display;
};

/// One remembered zoom state: the visible ranges and whether the display was zoomed.
struct TZemDisplayZoomListItem {
    double m_xMin = 0.0;
    double m_xMax = 0.0;
    double m_yMin = 0.0;
    double m_yMax = 0.0;
    bool m_zoomed = false;
    friend bool operator==(const TZemDisplayZoomListItem&,
                           const TZemDisplayZoomListItem&) = default;
};

/// A zoom history (undo or redo): at most 100 states; pushing a 101st drops the oldest, pushing
/// a state equal to the newest does nothing.
class TZemDisplayZoomList {
  public:
    static constexpr size_t kCapacity = 100;
    void Push(const TZemDisplayZoomListItem& item);
    /// Takes the newest state; false when empty.
    bool Pop(TZemDisplayZoomListItem& item);
    void Clear() { m_items.clear(); }
    bool IsEmpty() const { return m_items.empty(); }
    size_t GetCount() const { return m_items.size(); }

  private:
    std::deque<TZemDisplayZoomListItem> m_items; ///< oldest first
};

using TZemZoomChangedEvent = std::function<void(
    TZemDataDisplay* sender, TZemZoomOperation operation, const TZemRealRanges& zoomValues)>;

/// Receives the errors that must not leave a Qt event handler (a failed export from a toolbar
/// button, a handler that throws during a refresh). The default writes one line to standard
/// error; the program installs one that also shows a message box. GUI thread only.
using TZemErrorReporter = std::function<void(const std::string& message)>;
void ZemSetErrorReporter(TZemErrorReporter reporter);
/// Reports `message` through the installed reporter.
void ZemReportError(const std::string& message);
/// Runs `action`, reporting any exception it throws instead of letting it escape (Qt event
/// boundaries). `where` names the action for the message.
void ZemGuard(const char* where, const std::function<void()>& action);

/// Expands a value format: text is copied, "%%" gives "%", "%D" inserts `defaultText` expanded
/// in turn (one level only: a "%D" inside it is dropped, so a default naming itself cannot
/// expand without end), any other "%" letter gives `valueText` of that letter in upper case
/// (an empty text for letters the caller does not know); a "%" at the very end is dropped.
std::string ZemExpandValueFormat(const std::string& format, const std::string& defaultText,
                                 const std::function<std::string(char code)>& valueText);

/// The common base control of the scope and the waterfall: divides its area among an ordered list
/// of views, renders everything into its own off-screen image and blits that, owns the toolbar,
/// the zoom settings and the zoom histories, and routes pointer, wheel and key input to its views.
///
/// Threads: everything runs on the GUI thread except `InvalidateFromAnyThread` and the
/// layout-needed flag, which producer threads may set.
///
/// Published (besides the control's): `Color` (black), `ToolBar`, `Zooming`, `OnZoomChanged`;
/// `Width` 450 and `Height` 280 at creation, `TabStop` true.
class TZemDataDisplay : public TZemControl {
  public:
    explicit TZemDataDisplay(TVokComponent* owner);
    ~TZemDataDisplay() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TZemDisplayToolBar* GetToolBar() const { return m_toolBar.get(); }
    TZemDisplayZoom* GetZooming() const { return m_zooming.get(); }
    const TZemZoomChangedEvent& GetOnZoomChanged() const { return m_onZoomChanged; }
    void SetOnZoomChanged(TZemZoomChangedEvent handler) { m_onZoomChanged = std::move(handler); }
    TZemDisplayViews& GetViews() { return m_views; }
    const TZemDisplayViews& GetViews() const { return m_views; }

    // --- Size used for layout and drawing ---------------------------------------------------
    /// The control's width and height, or the print size while printing.
    int GetDrawWidth() const { return m_printing ? m_printWidth : GetWidth(); }
    int GetDrawHeight() const { return m_printing ? m_printHeight : GetHeight(); }
    bool IsPrinting() const { return m_printing; }

    // --- Repaint requests ---------------------------------------------------------------------
    /// Requests a repaint of the whole control (GUI thread).
    virtual void RedrawDisplay();
    /// Sets the layout-needed flag and requests a repaint.
    virtual void InvalidateLayout();
    /// Requests a repaint of one rectangle (GUI thread).
    void InvalidateRect(const TZemRect& rect);
    /// Requests a repaint from any thread; the repaint runs later on the GUI thread.
    void InvalidateFromAnyThread();
    bool IsLayoutNeeded() const { return m_layoutNeeded.load(std::memory_order_acquire); }
    /// Producer threads may call this.
    void SetLayoutNeeded() { m_layoutNeeded.store(true, std::memory_order_release); }
    virtual void OrientationChanged() {}

    /// Runs the layout of the views over the current draw size (clears the layout-needed flag).
    void Layout();

    // --- Rendering ----------------------------------------------------------------------------
    /// The off-screen image (resized to the control at every paint).
    QImage& GetImage() { return m_image; }
    /// Renders into the off-screen image at the control's size with the toolbar allowed, clipped
    /// to `region` (empty: everything).
    void RenderToImage(const QRegion& region = QRegion());
    /// How many times the off-screen image was rendered (repaints).
    uint64_t GetRenderCount() const { return m_renderCount; }
    /// Renders the whole display at the current size onto `canvas`, without toolbar, hover
    /// buttons or focus frame: what export, printing and the clipboard get.
    virtual void DrawTo(TZemCanvas& canvas);
    /// A new RGB32 image of the display's size holding `DrawTo`'s picture; works for a display
    /// that was never shown.
    QImage RenderPicture();
    /// Renders onto `canvas`: `exporting` leaves out toolbar, focus and hover decorations.
    virtual void Render(TZemCanvas& canvas, const QRegion& region, bool exporting) = 0;
    /// Called by the refresh timer; true when the display must repaint.
    virtual bool CheckNewData() = 0;
    virtual std::string GetPrintTitle() const { return "Unknown"; }

    // --- Values and formats ---------------------------------------------------------------------
    virtual double GetVisibleXMin() = 0;
    virtual double GetVisibleXMax() = 0;
    virtual double GetVisibleYMin() = 0;
    virtual double GetVisibleYMax() = 0;
    virtual TZemDisplayView* GetDataView() const = 0;
    virtual bool IsVertical() const { return false; }
    virtual bool IsVerticalReversed() const { return false; }
    /// Expands `format` (or `defaultFormat` when empty): "%%" → "%", "%X"/"%Y" → the axes'
    /// labels of the values, "%D" → the default text (expanded once more, one level only); any
    /// other "%" letter is dropped with its "%", a trailing "%" ends the text.
    virtual std::string FormatValueText(const std::string& format, const std::string& defaultFormat,
                                        double xValue, double yValue) = 0;

    // --- Zoom ---------------------------------------------------------------------------------
    bool IsZoomed() const { return m_zoomed; }
    void Zoom(double factor) { ZoomBy(true, factor); }
    void ZoomBy(bool saveHistory, double factor) { ZoomByFactors(saveHistory, factor, factor); }
    void ZoomXY(double factorY, double factorX) { ZoomByFactors(true, factorY, factorX); }
    /// Zooms both axes about their centres (factor < 1 zooms in); saves history when asked.
    virtual void ZoomByFactors(bool saveHistory, double factorY, double factorX);
    void ZoomTo(const TZemRealRange& yRange, const TZemRealRange& xRange) {
        ZoomToRange(true, yRange, xRange);
    }
    virtual void ZoomToRange(bool saveHistory, const TZemRealRange& yRange,
                             const TZemRealRange& xRange);
    /// Zooms about a pixel (the wheel): the point under the pointer stays where it is.
    virtual void ZoomAtPoint(int x, int y, double factorY, double factorX);
    virtual void Unzoom();
    virtual void ZoomUndo();
    virtual void ZoomRedo();
    virtual void ClearZoomHistory();
    /// Pushes the current state onto the undo history (see the class comment of the histories);
    /// with `once`, only the first call of a run of calls pushes.
    virtual void SaveZoomState(bool once);
    const TZemDisplayZoomList& GetUndoHistory() const { return m_undo; }
    const TZemDisplayZoomList& GetRedoHistory() const { return m_redo; }
    /// Sets both axes' zoom ranges and the zoomed flag, repaints.
    virtual void SetVisibleRange(TZemZoomOperation operation, const TZemRealRange& yRange,
                                 const TZemRealRange& xRange) = 0;
    /// Clears the zoomed flag, repaints, drops the axes' cached values.
    virtual void ResetVisibleRange() = 0;
    /// Zooms the axes by factors about their centres (no history, no event).
    virtual void ZoomAxes(double factorY, double factorX) = 0;

    // --- Hold ---------------------------------------------------------------------------------
    bool GetHold() const { return m_hold; }
    /// Setting a different value stores it, checks for new data and repaints.
    virtual void SetHold(bool value);

    // --- Pointer and keys (called by the widget) ---------------------------------------------
    bool IsMouseInside() const { return m_mouseInside; }
    int GetMouseX() const { return m_mouseX; }
    int GetMouseY() const { return m_mouseY; }
    virtual void MouseEntered();
    virtual void MouseLeft();
    virtual void HandleMouseMove(TZemShiftState shift, int x, int y);
    virtual void HandleMouseDown(TZemMouseButton button, TZemShiftState shift, int x, int y);
    virtual void HandleMouseUp(TZemMouseButton button, TZemShiftState shift, int x, int y);
    virtual void HandleWheel(bool up, TZemShiftState shift, int x, int y);
    virtual void HandleKey(const std::string& text);
    void SetCursor(TVokCursor value) override;
    /// Copies `RenderPicture` to the clipboard (toolbar copy button).
    virtual void CopyToClipboard();
    virtual void ShowProperties(int page, int selection) { (void)page, (void)selection; }
    void ShowDefaultProperties() { ShowProperties(0, 0); }

    /// Paint request from the widget: renders (unless printing) and blits the image.
    void Paint(QPainter& painter, const QRegion& region);
    /// True while the widget has the keyboard focus.
    bool HasFocus() const;

  protected:
    QWidget* CreateWidget() override;
    void BoundsChanged() override { InvalidateLayout(); }
    void Loaded() override;
    /// Raises `OnZoomChanged` after `InvalidateLayout`.
    void RaiseZoomChanged(TZemZoomOperation operation);
    /// The current state for the histories.
    TZemDisplayZoomListItem CurrentZoomState();
    void SetZoomedFlag(bool value) { m_zoomed = value; }
    /// Sets the print size and flag (printing) or clears it.
    void SetPrintSize(bool printing, int width, int height);
    void SetToolBar(std::unique_ptr<TZemDisplayToolBar> toolBar);
    /// Draws the toolbar when it should show (not exporting; visible; not auto-hidden).
    void DrawToolBar(TZemCanvas& canvas, const QRegion& region);
    /// Keeps the hold flag without the repaint (export and print helpers).
    void StoreHold(bool value) { m_hold = value; }

    TZemDisplayViews m_views;
    QImage m_image;
    /// Draws into m_image across frames (a painter per frame would allocate); remade when the
    /// image is.
    std::unique_ptr<TZemCanvas> m_imageCanvas;

  private:
    void LeaveCheck();

    TVokColor m_color = 0;
    std::atomic<bool> m_layoutNeeded{true};
    bool m_printing = false;
    int m_printWidth = 0;
    int m_printHeight = 0;
    bool m_mouseInside = false;
    int m_mouseX = -1000;
    int m_mouseY = -1000;
    bool m_cursorOverToolBar = false;
    bool m_hold = false;
    bool m_zoomed = false;
    bool m_zoomStateSaved = false;
    uint64_t m_renderCount = 0;
    std::unique_ptr<TZemDisplayToolBar> m_toolBar;
    std::unique_ptr<TZemDisplayZoom> m_zooming;
    TZemDisplayZoomList m_undo;
    TZemDisplayZoomList m_redo;
    TZemZoomChangedEvent m_onZoomChanged;
    QTimer* m_leaveTimer = nullptr; ///< child of the widget
    /// The widget as producer threads see it: set when the widget is made, cleared before it
    /// goes; read by `InvalidateFromAnyThread`.
    std::atomic<QWidget*> m_paintTarget{nullptr};
};
