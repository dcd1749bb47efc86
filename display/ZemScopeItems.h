#pragma once

// The settings and items a chart draws over its channels: highlighting of hovered items, the
// drag trails, cursors with their channel links, cursor links (measurement line and selection
// between two cursors), marker groups and the channel markers that belong to them.
//
// Everything here lives on the GUI thread. Items belong to their collections; the cross
// references between them (a cursor link's cursors, a channel link's channel, a channel
// marker's group) are plain pointers that the side being destroyed clears on the other side.
// A reference set by index binds at once, except while the display is being read from a form:
// then the index is kept and binds on first use, because the reading may still replace the
// collection it points into (the order of the collections in a form does not matter).

#include "display/ZemDisplayCollection.h"
#include "display/ZemDisplayTypes.h"
#include "pins/VokGraphicsObjects.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TZemDataChart;
class TZemDataDisplay;
class TZemDisplayChannel;
class TZemDisplayCursor;
class TZemDisplayCursorLink;
class TZemDisplayCursors;
class TZemScopeChannelMarker;
class TZemScopeMarkerGroups;

// ---- Highlighting -------------------------------------------------------------------------------

/// How one kind of item reacts to the pointer. Published: `HiglightLegendButton` (true: an item
/// under the pointer in the plot lights its legend button), `HiglightFromLegend` (true: an item
/// under the pointer in the legend is highlighted in the plot), `HiglightFromMouse` (true: an
/// item under the pointer in the plot is highlighted there), `Color` (0x00FF00). Changes repaint
/// the display (which may be null).
class TZemDisplayItemHighlighting : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayItemHighlighting(TZemDataDisplay* display, bool fromMouse = true)
        : m_display(display), m_fromMouse(fromMouse) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetHiglightLegendButton() const { return m_legendButton; }
    void SetHiglightLegendButton(bool value);
    bool GetHiglightFromLegend() const { return m_fromLegend; }
    void SetHiglightFromLegend(bool value);
    bool GetHiglightFromMouse() const { return m_fromMouse; }
    void SetHiglightFromMouse(bool value);
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);

  protected:
    void Changed();

  private:
    TZemDataDisplay* m_display;
    bool m_legendButton = true;
    bool m_fromLegend = true;
    bool m_fromMouse;
    TVokColor m_color = 0x00FF00;
};

/// The channels' highlighting: as the others, but `HiglightFromMouse` defaults to false.
class TZemChannelItemHighlighting : public TZemDisplayItemHighlighting {
  public:
    explicit TZemChannelItemHighlighting(TZemDataDisplay* display)
        : TZemDisplayItemHighlighting(display, false) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// The square and value label drawn at the channel sample under the pointer. Published: `Enabled`
/// (true), `Color` (255), `UseChannelColor` (true), `PointLabel` (white Arial −11, visible, empty
/// text: the label format, "%X : %Y" when empty). Changes repaint.
class TZemChannelMouseHitPoint : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemChannelMouseHitPoint(TZemDataDisplay* display);
    ~TZemChannelMouseHitPoint() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetEnabled() const { return m_enabled; }
    void SetEnabled(bool value);
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    bool GetUseChannelColor() const { return m_useChannelColor; }
    void SetUseChannelColor(bool value);
    TZemMeasurementLabel* GetPointLabel() const { return m_pointLabel.get(); }

  private:
    void Changed();

    TZemDataDisplay* m_display;
    bool m_enabled = true;
    TVokColor m_color = 0x0000FF;
    bool m_useChannelColor = true;
    std::unique_ptr<TZemMeasurementLabel> m_pointLabel;
};

/// A chart's `Highlighting`. Published, in order: `Channels`, `Markers`, `Cursors`,
/// `CursorLinks`, `MouseHitPoint`.
class TZemDisplayHighlighting : public TVokPersistent, public IVokPublished {
  public:
    /// `display` is told to repaint after any change; it may be null.
    explicit TZemDisplayHighlighting(TZemDataDisplay* display);
    ~TZemDisplayHighlighting() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemChannelItemHighlighting* GetChannels() const { return m_channels.get(); }
    TZemDisplayItemHighlighting* GetMarkers() const { return m_markers.get(); }
    TZemDisplayItemHighlighting* GetCursors() const { return m_cursors.get(); }
    TZemDisplayItemHighlighting* GetCursorLinks() const { return m_cursorLinks.get(); }
    TZemChannelMouseHitPoint* GetMouseHitPoint() const { return m_mouseHitPoint.get(); }

  private:
    std::unique_ptr<TZemChannelItemHighlighting> m_channels;
    std::unique_ptr<TZemDisplayItemHighlighting> m_markers;
    std::unique_ptr<TZemDisplayItemHighlighting> m_cursors;
    std::unique_ptr<TZemDisplayItemHighlighting> m_cursorLinks;
    std::unique_ptr<TZemChannelMouseHitPoint> m_mouseHitPoint;
};

/// The look of what follows the pointer while a cursor or measurement line is dragged.
/// Published: `Color` (0xFFFFFF), `Font` (white Arial −11). Changes repaint.
class TZemDisplayTrails : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayTrails(TZemDataDisplay* display);
    ~TZemDisplayTrails() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TVokFont* GetFont() const { return m_font.get(); }

  private:
    void Changed();

    TZemDataDisplay* m_display;
    TVokColor m_color = 0xFFFFFF;
    std::unique_ptr<TVokFont> m_font;
};

// ---- Marker shapes ------------------------------------------------------------------------------

enum TZemDisplayMarkerShape : uint8_t {
    msPoint,
    msCircle,
    msSquare,
    msDiamond,
    msPlus,
    msCross,
    msStar,
    msTriangleUp,
    msTriangleDown,
    msTriangleLeft,
    msTriangleRight,
    msHLine,
    msVLine
};
/// The value names of `TZemDisplayMarkerShape`, in order.
const std::vector<std::string>& ZemMarkerShapeNames();

// ---- Channel links ------------------------------------------------------------------------------

/// Where a cursor crosses one channel: a marker symbol and a value label.
///
/// The channel is kept as a pointer. Forms store its index ("ChannelIndex"; the older "Channel"
/// is read as an index too); an index read from a form, or one the chart does not have yet, is
/// kept and binds on first use. Once bound, the link registers with its channel; destroying the
/// channel frees the link (`ZemChannelDestroyed`).
///
/// Published: `ChannelLabel` (white Arial −11; empty text: "%X" or "%Y" by the cursor line),
/// `UseChannelColor` (true), `Pen`, `Size` (3: half-size in pixels), `Shape` (msCircle),
/// `Brush`. Changes repaint.
class TZemDisplayChannelLink : public TZemDisplayCollectionItem {
  public:
    explicit TZemDisplayChannelLink(TVokExtCollection* collection);
    ~TZemDisplayChannelLink() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void DefineProperties(TVokFiler& filer) override;
    void Assign(const TVokPersistent* source) override;

    /// The cursor owning the link's collection, or null.
    TZemDisplayCursor* GetCursor() const;
    /// The channel, resolving an index read from a form when the chart has that channel now;
    /// null when there is none (yet).
    TZemDisplayChannel* GetChannel() const;
    /// Points the link at `channel` (null: none).
    void SetChannel(TZemDisplayChannel* channel);
    /// The channel's index in its chart, the unresolved index read from a form, or −1.
    int GetChannelIndex() const;
    /// Sets the channel by index (−1: none); binds at once unless the display is being read or
    /// the chart does not have that channel yet. Throws std::invalid_argument below −1.
    void SetChannelIndex(int index);

    TZemOptionalLabel* GetChannelLabel() const { return m_channelLabel.get(); }
    bool GetUseChannelColor() const { return m_useChannelColor; }
    void SetUseChannelColor(bool value);
    TVokPen* GetPen() const { return m_pen.get(); }
    uint32_t GetSize() const { return m_size; }
    void SetSize(uint32_t value);
    TZemDisplayMarkerShape GetShape() const { return m_shape; }
    void SetShape(TZemDisplayMarkerShape value);
    TVokBrush* GetBrush() const { return m_brush.get(); }

    /// True when the link is bound to `channel` (an unresolved index does not count).
    bool IsBoundTo(const TZemDisplayChannel* channel) const { return m_channel == channel; }

  private:
    /// The chart of the link's display, or null.
    TZemDataChart* GetChart() const;
    void Attach(TZemDisplayChannel* channel) const;
    /// True while the cursors collection of the link's cursor frees all its cursors for good.
    bool CursorsGoing() const;

    // Resolution of a pending index happens in const getters, hence mutable.
    mutable TZemDisplayChannel* m_channel = nullptr;
    mutable int m_pendingIndex = -1;
    std::unique_ptr<TZemOptionalLabel> m_channelLabel;
    bool m_useChannelColor = true;
    std::unique_ptr<TVokPen> m_pen;
    uint32_t m_size = 3;
    TZemDisplayMarkerShape m_shape = msCircle;
    std::unique_ptr<TVokBrush> m_brush;
};

/// A cursor's `Channels`.
class TZemDisplayChannelLinks : public TZemDisplayCollection {
  public:
    TZemDisplayChannelLinks(TZemDataDisplay* display, TZemDisplayCursor* cursor);
    ~TZemDisplayChannelLinks() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayCursor* GetCursor() const { return m_cursor; }
    TZemDisplayChannelLink* GetLink(int index) const {
        return static_cast<TZemDisplayChannelLink*>(GetItem(index));
    }

  private:
    TZemDisplayCursor* m_cursor;
};

/// Binds every reference by index of `chart`'s items that still waits for its first use (cursor
/// link ends, cursor channel links, channel markers' groups). Destroying a cursor, a channel or
/// a marker group does this first, outside form reading, so that no waiting index shifts onto
/// another item; a chart may also call it once loading is complete. Null does nothing.
void ZemBindItemReferences(TZemDataChart* chart);

/// Frees every cursor channel link of `chart` that points to `channel`, after binding the
/// references still waiting (see `ZemBindItemReferences`). The channel's destructor calls it
/// while the channel is still in its collection. Does nothing for a null argument.
void ZemChannelDestroyed(TZemDataChart* chart, TZemDisplayChannel* channel);

// ---- Cursors ------------------------------------------------------------------------------------

/// A cursor's `Position`: `X` and `Y` (0.0) in the data units of the X and Y axes. A changed
/// value repaints.
class TZemDisplayCursorPosition : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayCursorPosition(TZemDisplayCursor* cursor) : m_cursor(cursor) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayCursor* GetCursor() const { return m_cursor; }
    double GetX() const { return m_x; }
    void SetX(double value);
    double GetY() const { return m_y; }
    void SetY(double value);
    TZemRealPoint GetPoint() const { return {m_x, m_y}; }

  private:
    TZemDisplayCursor* m_cursor;
    double m_x = 0.0;
    double m_y = 0.0;
};

enum TZemDisplayCursorKind : uint8_t { ckVertical, ckHorizontal, ckBoth };

using TZemCursorNotifyEvent = std::function<void(TZemDisplayCursor* sender)>;
using TZemCursorMouseEvent = std::function<void(TZemDisplayCursor* sender, TZemMouseButton button,
                                                TZemShiftState shift, int x, int y)>;
/// A cursor or measurement line was moved by the pointer: (display, item index, old position,
/// new position).
using TZemPositionChangeEvent =
    std::function<void(TZemDataDisplay* sender, int index, const TZemRealPoint& oldPosition,
                       const TZemRealPoint& newPosition)>;

/// The cursor links that use a cursor (not owned).
using TZemDisplayCursorLinkList = std::vector<TZemDisplayCursorLink*>;

/// A vertical, horizontal or cross-hair line at a data position, with links to the channels it
/// measures. A new cursor is named "Cursor" followed by the number of cursors (its own count
/// included). Destroying a cursor detaches it from every cursor link that uses it (their index
/// becomes −1) and sets the display's layout-needed flag.
///
/// Published: `Position`, `Color` (255), `Channels`, `Kind` (ckVertical), `OnClick`,
/// `OnMouseDown`, `OnMouseUp`; `Visible` (true) and `Name` inherited.
class TZemDisplayCursor : public TZemOptionalDisplayCollectionItem {
  public:
    explicit TZemDisplayCursor(TVokExtCollection* collection);
    ~TZemDisplayCursor() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    TZemDisplayCursorPosition* GetPosition() const { return m_position.get(); }
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TZemDisplayChannelLinks* GetChannels() const { return m_channels.get(); }
    TZemDisplayCursorKind GetKind() const { return m_kind; }
    void SetKind(TZemDisplayCursorKind value);
    /// The cursor links whose begin or end is this cursor, in registration order.
    const TZemDisplayCursorLinkList& GetLinks() const { return m_links; }

    const TZemCursorNotifyEvent& GetOnClick() const { return m_onClick; }
    void SetOnClick(TZemCursorNotifyEvent handler) { m_onClick = std::move(handler); }
    const TZemCursorMouseEvent& GetOnMouseDown() const { return m_onMouseDown; }
    void SetOnMouseDown(TZemCursorMouseEvent handler) { m_onMouseDown = std::move(handler); }
    const TZemCursorMouseEvent& GetOnMouseUp() const { return m_onMouseUp; }
    void SetOnMouseUp(TZemCursorMouseEvent handler) { m_onMouseUp = std::move(handler); }

    TVokColor GetItemColor() const override { return m_color; }
    /// Lit while the cursor is hovered or dragged in the plot and the chart's
    /// `Highlighting.Cursors.HiglightLegendButton` is set.
    bool IsLegendButtonHighlighted() const override;
    void SetHighlightedFromLegend(bool highlighted) override;
    bool IsHighlightedFromLegend() const { return m_highlightedFromLegend; }
    /// True while the cursor is being dragged.
    bool IsPressed() const override { return m_dragging; }
    /// Pointer state, set by the data view.
    void SetHovered(bool value) { m_hovered = value; }
    bool IsHovered() const { return m_hovered; }
    void SetDragging(bool value) { m_dragging = value; }
    /// Run-time mark of a cursor added in the property dialog (not stored).
    bool GetAddedHere() const { return m_addedHere; }
    void SetAddedHere(bool value) { m_addedHere = value; }

  private:
    friend class TZemDisplayCursorLink;
    void RegisterLink(TZemDisplayCursorLink* link);
    void UnregisterLink(TZemDisplayCursorLink* link);

    std::unique_ptr<TZemDisplayCursorPosition> m_position;
    TVokColor m_color = 0x0000FF;
    std::unique_ptr<TZemDisplayChannelLinks> m_channels;
    TZemDisplayCursorKind m_kind = ckVertical;
    TZemDisplayCursorLinkList m_links;
    TZemCursorNotifyEvent m_onClick;
    TZemCursorMouseEvent m_onMouseDown;
    TZemCursorMouseEvent m_onMouseUp;
    bool m_hovered = false;
    bool m_dragging = false;
    bool m_highlightedFromLegend = false;
    bool m_addedHere = false;
};

/// A chart's `Cursors`. Published: `OnPositionChange`.
class TZemDisplayCursors : public TZemDisplayCollection {
  public:
    explicit TZemDisplayCursors(TZemDataDisplay* display);
    ~TZemDisplayCursors() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayCursor* GetCursor(int index) const {
        return static_cast<TZemDisplayCursor*>(GetItem(index));
    }
    const TZemPositionChangeEvent& GetOnPositionChange() const { return m_onPositionChange; }
    void SetOnPositionChange(TZemPositionChangeEvent handler) {
        m_onPositionChange = std::move(handler);
    }

  private:
    TZemPositionChangeEvent m_onPositionChange;
};

// ---- Cursor links -------------------------------------------------------------------------------

/// The line drawn between the two cursors of a cursor link, labelled with their distance.
/// Published: `X`, `Y` (0.0, clamped to −100 … 100: the cross position in per cent of the data
/// view's half extent), `Color` (0x00FFFF), `Style` (psDot), `Mode` (pmCopy), `MeasurementLabel`
/// (white Arial −11; empty text: "%V", the formatted distance), `Visible` (true). Changes repaint.
class TZemScopeMeasurementLine : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopeMeasurementLine(TZemDisplayCursorLink* link);
    ~TZemScopeMeasurementLine() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    double GetX() const { return m_x; }
    /// Clamps to −100 … 100 (NaN becomes 0).
    void SetX(double value);
    double GetY() const { return m_y; }
    void SetY(double value);
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor value);
    TVokPenStyle GetStyle() const { return m_style; }
    void SetStyle(TVokPenStyle value);
    TVokPenMode GetMode() const { return m_mode; }
    void SetMode(TVokPenMode value);
    TZemMeasurementLabel* GetMeasurementLabel() const { return m_label.get(); }
    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);

  private:
    void Changed();

    TZemDisplayCursorLink* m_link;
    double m_x = 0.0;
    double m_y = 0.0;
    TVokColor m_color = 0x00FFFF;
    TVokPenStyle m_style = psDot;
    TVokPenMode m_mode = pmCopy;
    std::unique_ptr<TZemMeasurementLabel> m_label;
    bool m_visible = true;
};

/// The shaded area between the two cursors of a cursor link. Published: `Visible` (false),
/// `Brush` (navy). Changes repaint.
class TZemScopeSelection : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemScopeSelection(TZemDisplayCursorLink* link);
    ~TZemScopeSelection() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    TVokBrush* GetBrush() const { return m_brush.get(); }

  private:
    TZemDisplayCursorLink* m_link;
    bool m_visible = false;
    std::unique_ptr<TVokBrush> m_brush;
};

/// A measurement between two cursors. A new link is named "Link" followed by the number of links
/// (its own count included).
///
/// The cursors are kept as pointers; setting a cursor registers the link with it. Forms store
/// their indexes as "BeginCursorIndex_" and "EndCursorIndex_" (written only when set); an index
/// read from a form, or one the chart does not have yet, is kept and binds on first use.
///
/// Published: `BeginCursorIndex`, `EndCursorIndex` (−1: none; not stored under these names),
/// `MeasurementLine`, `Selection`; `Name` inherited.
class TZemDisplayCursorLink : public TZemDisplayCollectionItem {
  public:
    explicit TZemDisplayCursorLink(TVokExtCollection* collection);
    ~TZemDisplayCursorLink() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void DefineProperties(TVokFiler& filer) override;
    void Assign(const TVokPersistent* source) override;

    /// The begin and end cursors, resolving indexes read from a form; null when none.
    TZemDisplayCursor* GetBeginCursor() const { return Resolve(0); }
    TZemDisplayCursor* GetEndCursor() const { return Resolve(1); }
    void SetBeginCursor(TZemDisplayCursor* cursor) { SetCursor(0, cursor); }
    void SetEndCursor(TZemDisplayCursor* cursor) { SetCursor(1, cursor); }
    /// The cursor's index in the chart's cursors, the unresolved index read from a form, or −1.
    int GetBeginCursorIndex() const { return CursorIndex(0); }
    int GetEndCursorIndex() const { return CursorIndex(1); }
    /// −1 clears the cursor; binds at once unless the display is being read or the chart does
    /// not have that cursor yet. Throws std::invalid_argument for an index below −1.
    void SetBeginCursorIndex(int index) { SetCursorIndex(0, index); }
    void SetEndCursorIndex(int index) { SetCursorIndex(1, index); }

    TZemScopeMeasurementLine* GetMeasurementLine() const { return m_measurementLine.get(); }
    TZemScopeSelection* GetSelection() const { return m_selection.get(); }

    TVokColor GetItemColor() const override;
    bool IsLegendButtonHighlighted() const override;
    void SetHighlightedFromLegend(bool highlighted) override;
    bool IsHighlightedFromLegend() const { return m_highlightedFromLegend; }
    bool IsPressed() const override { return m_dragging; }
    void SetHovered(bool value) { m_hovered = value; }
    bool IsHovered() const { return m_hovered; }
    void SetDragging(bool value) { m_dragging = value; }
    bool GetAddedHere() const { return m_addedHere; }
    void SetAddedHere(bool value) { m_addedHere = value; }

    /// Called by a cursor being destroyed: every end at `cursor` becomes none.
    void CursorDestroyed(TZemDisplayCursor* cursor);

  private:
    /// The chart's (or the link collection's) cursors, or null.
    TZemDisplayCursors* GetCursors() const;
    TZemDisplayCursor* Resolve(int end) const;
    void SetCursor(int end, TZemDisplayCursor* cursor);
    int CursorIndex(int end) const;
    void SetCursorIndex(int end, int index);
    /// Tells the old cursor of `end` it is no longer used there (unless the other end uses it).
    void Detach(int end) const;

    mutable TZemDisplayCursor* m_cursor[2] = {nullptr, nullptr};
    mutable int m_pendingIndex[2] = {-1, -1};
    std::unique_ptr<TZemScopeMeasurementLine> m_measurementLine;
    std::unique_ptr<TZemScopeSelection> m_selection;
    bool m_hovered = false;
    bool m_dragging = false;
    bool m_highlightedFromLegend = false;
    bool m_addedHere = false;
};

/// A chart's `CursorLinks`. Published: `OnPositionChange`.
class TZemDisplayCursorLinks : public TZemDisplayCollection {
  public:
    /// The links' cursors are `cursors` when given, else the chart's (`display` as a chart).
    explicit TZemDisplayCursorLinks(TZemDataDisplay* display,
                                    TZemDisplayCursors* cursors = nullptr);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayCursorLink* GetLink(int index) const {
        return static_cast<TZemDisplayCursorLink*>(GetItem(index));
    }
    /// The cursors the links refer to, or null.
    TZemDisplayCursors* GetCursors() const;
    const TZemPositionChangeEvent& GetOnPositionChange() const { return m_onPositionChange; }
    void SetOnPositionChange(TZemPositionChangeEvent handler) {
        m_onPositionChange = std::move(handler);
    }

  private:
    TZemDisplayCursors* m_cursors;
    TZemPositionChangeEvent m_onPositionChange;
};

// ---- Marker groups and markers ------------------------------------------------------------------

/// The shared look of a group of markers. A new group is named "MarkerGroup" followed by the
/// number of groups (its own count included). Published: `Brush`, `Pen`, `Shape` (msPlus),
/// `Size` (3: half-size in pixels), `Labels` (white Arial −11; the label format of its markers),
/// `Visible` (true). Changes repaint.
class TZemDisplayMarkerGroup : public TZemOptionalDisplayCollectionItem {
  public:
    explicit TZemDisplayMarkerGroup(TVokExtCollection* collection);
    ~TZemDisplayMarkerGroup() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    TVokBrush* GetBrush() const { return m_brush.get(); }
    TVokPen* GetPen() const { return m_pen.get(); }
    TZemDisplayMarkerShape GetShape() const { return m_shape; }
    void SetShape(TZemDisplayMarkerShape value);
    uint32_t GetSize() const { return m_size; }
    void SetSize(uint32_t value);
    TZemMeasurementLabel* GetLabels() const { return m_labels.get(); }

    TVokColor GetItemColor() const override { return m_pen->GetColor(); }
    TVokColor GetLegendColor() const override { return m_brush->GetColor(); }
    bool IsLegendButtonHighlighted() const override;
    void SetHighlightedFromLegend(bool highlighted) override;
    bool IsHighlightedFromLegend() const { return m_highlightedFromLegend; }
    void SetHovered(bool value) { m_hovered = value; }
    bool IsHovered() const { return m_hovered; }

  private:
    std::unique_ptr<TVokBrush> m_brush;
    std::unique_ptr<TVokPen> m_pen;
    TZemDisplayMarkerShape m_shape = msPlus;
    uint32_t m_size = 3;
    std::unique_ptr<TZemMeasurementLabel> m_labels;
    bool m_hovered = false;
    bool m_highlightedFromLegend = false;
};

/// A marker group of a scope: also knows the channel markers that belong to it (not owned).
/// Destroying the group leaves those markers without group.
class TZemScopeMarkerGroup : public TZemDisplayMarkerGroup {
  public:
    explicit TZemScopeMarkerGroup(TVokExtCollection* collection)
        : TZemDisplayMarkerGroup(collection) {}
    ~TZemScopeMarkerGroup() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::vector<TZemScopeChannelMarker*>& GetMarkers() const { return m_markers; }

  private:
    friend class TZemScopeChannelMarker;
    std::vector<TZemScopeChannelMarker*> m_markers;
};

/// A scope's `MarkerGroups`.
class TZemScopeMarkerGroups : public TZemDisplayCollection {
  public:
    explicit TZemScopeMarkerGroups(TZemDataDisplay* display);
    ~TZemScopeMarkerGroups() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemScopeMarkerGroup* GetGroup(int index) const {
        return static_cast<TZemScopeMarkerGroup*>(GetItem(index));
    }
};

/// A symbol with a label placed on something a display shows. Remembers the pixel of its last
/// drawing (x = −10000 when it was not drawn). A new marker is named "Marker" followed by the
/// number of markers (its own count included).
class TZemDisplayMarker : public TZemDisplayCollectionItem {
  public:
    static constexpr int kNotDrawn = -10000;

    explicit TZemDisplayMarker(TVokExtCollection* collection);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int GetPixelX() const { return m_pixelX; }
    int GetPixelY() const { return m_pixelY; }
    bool IsDrawn() const { return m_pixelX != kNotDrawn; }
    void SetPixel(int x, int y) {
        m_pixelX = x;
        m_pixelY = y;
    }
    void ForgetPixel() { m_pixelX = kNotDrawn; }

  private:
    int m_pixelX = kNotDrawn;
    int m_pixelY = 0;
};

/// A marker on sample `Position` of a scope channel, drawn in the look of its marker group.
///
/// The group is kept as a pointer; forms store its index as "MarkerGroupIndex" (the older
/// "MarkerGroup" is read as well). An index read from a form (which may list the channels before
/// the marker groups), or one the groups do not have yet, is kept and binds on first use.
///
/// Published: `Position` (0); `Name` inherited.
class TZemScopeChannelMarker : public TZemDisplayMarker {
  public:
    explicit TZemScopeChannelMarker(TVokExtCollection* collection);
    ~TZemScopeChannelMarker() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void DefineProperties(TVokFiler& filer) override;
    void Assign(const TVokPersistent* source) override;

    int32_t GetPosition() const { return m_position; }
    void SetPosition(int32_t value);
    /// The group, resolving an index read from a form; null when there is none (yet).
    TZemScopeMarkerGroup* GetMarkerGroup() const;
    void SetMarkerGroup(TZemScopeMarkerGroup* group);
    /// The group's index, the unresolved index read from a form, or −1.
    int GetMarkerGroupIndex() const;
    /// −1 clears the group; binds at once unless the display is being read or the groups do
    /// not have that index yet. Throws std::invalid_argument for an index below −1.
    void SetMarkerGroupIndex(int index);
    /// The group the marker is drawn with: its own; or, when it has none, the group at its kept
    /// index or else the first group, creating one when the scope has no group at all. Null
    /// only when the marker belongs to no scope.
    TZemScopeMarkerGroup* NeedMarkerGroup();

    /// Called by a group being destroyed.
    void GroupDestroyed() { m_group = nullptr; }

  private:
    TZemScopeMarkerGroups* GetGroups() const;
    void Attach(TZemScopeMarkerGroup* group) const;
    void Detach() const;

    int32_t m_position = 0;
    mutable TZemScopeMarkerGroup* m_group = nullptr;
    mutable int m_pendingIndex = -1;
};

/// A channel's `Markers`. The groups its markers refer to are `groups` when given, else the
/// channel's chart's `MarkerGroups`.
class TZemScopeChannelMarkers : public TZemDisplayCollection {
  public:
    /// The display is `channel`'s (which must already belong to its collection), or else
    /// `groups`'s. Either may be null.
    explicit TZemScopeChannelMarkers(TZemDisplayChannel* channel,
                                     TZemScopeMarkerGroups* groups = nullptr);
    ~TZemScopeChannelMarkers() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayChannel* GetChannel() const { return m_channel; }
    TZemScopeChannelMarker* GetMarker(int index) const {
        return static_cast<TZemScopeChannelMarker*>(GetItem(index));
    }
    /// The marker groups of the scope, or null.
    TZemScopeMarkerGroups* GetMarkerGroups() const;

  private:
    TZemDisplayChannel* m_channel;
    TZemScopeMarkerGroups* m_groups;
};
