#pragma once

// The title view at the top of a display and the legend view at its right, which lists the
// display's items (channels, marker groups, cursors, cursor links) in groups, each item as a
// button that opens the property dialog at that item.

#include "display/ZemDataChart.h"
#include "display/ZemDisplayCollection.h"
#include "display/ZemDisplayView.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TZemLegendGroup;
class TZemLegendView;

/// The display's title: `Text` (empty; a chart sets "Scope") drawn in `Font` (white Arial −21,
/// bold) 4 pixels below the view's top, centred on the display's width. Preferred height: text
/// height of "Xg" + 16. A change of `Text` or `Font` re-lays out the display. GUI thread only.
class TZemDisplayTitle : public TZemOptionalView {
  public:
    explicit TZemDisplayTitle(TZemDataDisplay* display);
    ~TZemDisplayTitle() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::string& GetText() const { return m_text; }
    void SetText(const std::string& value);
    TVokFont* GetFont() const { return m_font.get(); }

    TZemViewAlignment GetAlignment() const override { return zvaTop; }
    void DrawView(const TZemDrawArgs& args) override;

  protected:
    void ComputePreferredSize(int& width, int& height) const override;

  private:
    std::string m_text;
    std::unique_ptr<TVokFont> m_font;
};

/// A legend item button was pressed: (group, item index, handled). Setting `handled` keeps the
/// property dialog closed.
using TZemChartItemClickEvent =
    std::function<void(TZemLegendGroup* sender, int itemIndex, bool& handled)>;

/// One group of a legend: a caption and one button per visible item of a display collection.
///
/// The collection is fetched through a callback each time it is needed, because a legend is
/// built before the collections it lists exist; the callback may answer null (an empty group).
///
/// Published: `Caption` (white Arial −13 bold; an empty text shows the default name), `Visible`
/// (true), `Cursor` (crHandPoint: the pointer over an item button), `OnItemClick`. A change of
/// `Caption` or `Visible` re-lays out the display. GUI thread only.
class TZemLegendGroup : public TVokPersistent, public IVokPublished {
  public:
    using TCollectionSource = std::function<TZemDisplayCollection*()>;

    TZemLegendGroup(TZemLegendView* legend, std::string defaultName, TCollectionSource source);
    ~TZemLegendGroup() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemLegendView* GetLegend() const { return m_legend; }
    TZemDisplayLabel* GetCaption() const { return m_caption.get(); }
    const std::string& GetDefaultName() const { return m_defaultName; }
    /// The caption's text, or the default name when that is empty.
    std::string GetCaptionText() const;
    /// The listed collection, or null.
    TZemDisplayCollection* GetCollection() const { return m_source ? m_source() : nullptr; }
    /// The number of items in the collection (0 without one).
    int GetItemCount() const;
    /// The item at `index`, or null for a bad index.
    TZemDisplayCollectionItem* GetItem(int index) const;

    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    TVokCursor GetCursor() const { return m_cursor; }
    void SetCursor(TVokCursor value) { m_cursor = value; }
    const TZemChartItemClickEvent& GetOnItemClick() const { return m_onItemClick; }
    void SetOnItemClick(TZemChartItemClickEvent handler) { m_onItemClick = std::move(handler); }

    /// The item under the pointer (−1: none) and the item being pressed (−1: none).
    int GetHoverIndex() const { return m_hoverIndex; }
    int GetPressedIndex() const { return m_pressedIndex; }

  private:
    friend class TZemLegendView;

    TZemLegendView* m_legend;
    std::unique_ptr<TZemDisplayLabel> m_caption;
    int m_hoverIndex = -1;
    int m_pressedIndex = -1;
    TCollectionSource m_source;
    std::string m_defaultName;
    bool m_visible = true;
    TVokCursor m_cursor = kVokCrHandPoint;
    TZemChartItemClickEvent m_onItemClick;
};

/// The legend: its groups one below the other, each a caption and a row per visible item with a
/// colour swatch and the item's name. With `ButtonsEnabled`, the row under the pointer is lit as
/// a button (not in exported pictures), and pressing it calls the group's `OnItemClick` and,
/// unless handled, opens the display's property dialog at the group's page with the item
/// selected. A group that is hidden or whose collection is empty takes no room at all.
///
/// Published: `Font` (white Arial −11), `MouseOverBorderColor` (0x00FF00),
/// `MouseOverButtonColor` (0x008000), `MouseDownBorderColor` (0x00FFFF), `MouseDownButtonColor`
/// (0x008080), `ButtonsEnabled` (true); each change repaints. GUI thread only.
class TZemLegendView : public TZemOptionalView {
  public:
    explicit TZemLegendView(TZemDataDisplay* display);
    ~TZemLegendView() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokFont* GetFont() const { return m_font.get(); }
    TVokColor GetMouseOverBorderColor() const { return m_mouseOverBorderColor; }
    void SetMouseOverBorderColor(TVokColor value);
    TVokColor GetMouseOverButtonColor() const { return m_mouseOverButtonColor; }
    void SetMouseOverButtonColor(TVokColor value);
    TVokColor GetMouseDownBorderColor() const { return m_mouseDownBorderColor; }
    void SetMouseDownBorderColor(TVokColor value);
    TVokColor GetMouseDownButtonColor() const { return m_mouseDownButtonColor; }
    void SetMouseDownButtonColor(TVokColor value);
    bool GetButtonsEnabled() const { return m_buttonsEnabled; }
    void SetButtonsEnabled(bool value);

    int GetGroupCount() const { return static_cast<int>(m_groups.size()); }
    TZemLegendGroup* GetGroup(int index) const {
        return m_groups.at(static_cast<size_t>(index)).get();
    }

    /// Row height: text height of "Xg" in `Font` + 1, at least 6.
    int GetRowHeight() const;
    /// The button rectangle of item `itemIndex` of group `groupIndex` at the current layout;
    /// empty when that item is not listed.
    TZemRect GetItemButtonRect(int groupIndex, int itemIndex) const;
    /// The listed item whose button holds (x, y): true with its group and item index.
    bool FindItemAt(int x, int y, int& groupIndex, int& itemIndex) const;

    TZemViewAlignment GetAlignment() const override { return zvaRight; }
    void DrawView(const TZemDrawArgs& args) override;
    void MouseMove(TZemShiftState shift, int x, int y) override;
    void MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                   int y) override;
    void MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y) override;
    void DisplayMouseLeft() override;

  protected:
    /// Width: the largest of caption width + 23 (caption font, visible captions) and item name
    /// width + 30 (legend font) over the visible, non-empty groups; height −1.
    void ComputePreferredSize(int& width, int& height) const override;
    /// Appends a group; the legend owns it.
    TZemLegendGroup* AddGroup(std::string defaultName, TZemLegendGroup::TCollectionSource source);

  private:
    /// One listed item as the walk places it.
    struct TItemPlace {
        int m_group;
        int m_item;
        TZemRect m_button;
    };
    /// The walk over shown groups and visible items that the hit tests use.
    std::vector<TItemPlace> HitWalk() const;
    bool IsGroupShown(const TZemLegendGroup& group) const;
    void InvalidateItem(int groupIndex, int itemIndex);
    void SetColorValue(TVokColor& field, TVokColor value);
    void RestoreDisplayCursor();
    void DrawHoverButton(TZemCanvas& canvas, const TZemRect& box, bool pressed);

    std::unique_ptr<TVokFont> m_font;
    TVokColor m_mouseOverBorderColor = 0x00FF00;
    TVokColor m_mouseOverButtonColor = 0x008000;
    TVokColor m_mouseDownBorderColor = 0x00FFFF;
    TVokColor m_mouseDownButtonColor = 0x008080;
    bool m_buttonsEnabled = true;
    std::vector<std::unique_ptr<TZemLegendGroup>> m_groups;
    /// True while the display shows a group's pointer instead of its own.
    bool m_cursorShown = false;
};

/// A chart's legend: the groups `Channels` ("Channels"), `MarkerGroups` ("Marker Groups"),
/// `Cursors` ("Cursors") and `CursorLinks` ("Links"), in this order, over the chart's
/// collections. Published besides: the ignored hooks `_Channels`, `_MarkerGroups`, `_Cursors`,
/// `_CursorLinks` (never written).
class TZemScopeLegendView : public TZemLegendView {
  public:
    /// The chart may still be under construction: its collections are fetched when needed.
    explicit TZemScopeLegendView(TZemDataChart* chart);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemLegendGroup* GetChannels() const { return GetGroup(0); }
    TZemLegendGroup* GetMarkerGroups() const { return GetGroup(1); }
    TZemLegendGroup* GetCursors() const { return GetGroup(2); }
    TZemLegendGroup* GetCursorLinks() const { return GetGroup(3); }

  private:
    TGorPropertyExpandEvent m_expandHook;
};
