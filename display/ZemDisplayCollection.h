#pragma once

#include "pins/VokExtCollection.h"
#include "pins/VokGraphicsObjects.h"

#include <functional>
#include <memory>
#include <string>

class TZemDataDisplay;

/// Base of every item a display lists (channels, cursors, cursor links, marker groups, markers):
/// a name, the owning display, and the colours and highlight states the legend asks for.
/// GUI thread only. Published: `Name`.
class TZemDisplayCollectionItem : public TVokExtCollectionItem {
  public:
    explicit TZemDisplayCollectionItem(TVokExtCollection* collection);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::string& GetName() const { return m_name; }
    virtual void SetName(const std::string& name);
    std::string GetDisplayName() const override { return m_name; }

    /// The display of the collection this item belongs to, or null.
    TZemDataDisplay* GetDisplay() const;

    /// The colour of the item (255 in the base; a channel answers its `Color`).
    virtual TVokColor GetItemColor() const { return 0x0000FF; }
    /// The fill of the item's legend swatch.
    virtual TVokColor GetLegendColor() const { return GetItemColor(); }
    virtual bool IsItemVisible() const { return true; }
    /// True while the item lights its legend button (hovered in the plot, dragged).
    virtual bool IsLegendButtonHighlighted() const { return false; }
    /// The legend tells the item whether the pointer is over its legend button.
    virtual void SetHighlightedFromLegend(bool highlighted) { (void)highlighted; }
    /// True while the item is pressed (a cursor being dragged).
    virtual bool IsPressed() const { return false; }
    /// Called by setters: repaints the display.
    virtual void ItemChanged();

  private:
    std::string m_name;
};

/// An item the user can hide (`Visible`, default true).
class TZemOptionalDisplayCollectionItem : public TZemDisplayCollectionItem {
  public:
    using TZemDisplayCollectionItem::TZemDisplayCollectionItem;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetVisible() const { return m_visible; }
    virtual void SetVisible(bool value);
    bool IsItemVisible() const override { return m_visible; }

  private:
    bool m_visible = true;
};

/// A collection of display items; knows its display. Any change repaints the display.
class TZemDisplayCollection : public TVokExtCollection {
  public:
    TZemDisplayCollection(TZemDataDisplay* display, TVokCollectionItemClass itemClass);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDataDisplay* GetDisplay() const { return m_display; }
    /// The item at `index` as a display item (range-checked like `GetItem`).
    TZemDisplayCollectionItem* GetDisplayItem(int index) const;
    /// The position of `item`, or −1.
    int IndexOfItem(const TVokExtCollectionItem* item) const { return IndexOf(item); }

  protected:
    void Update(TVokExtCollectionItem* item) override;

  private:
    TZemDataDisplay* m_display;
};

using TZemOptionalDisplayCollection = TZemDisplayCollection;

/// A text with its font: axis captions, legend captions. `Text`, `Font`, `Visible` (true).
/// Changes call the owner's callback (a re-layout).
class TZemDisplayLabel : public TVokPersistent, public IVokPublished {
  public:
    /// `onChange` runs after any change of text, font or visibility; it may be empty. The font
    /// starts as white Arial of `fontHeight` (negative: character height in pixels).
    TZemDisplayLabel(std::function<void()> onChange, int fontHeight, bool bold);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::string& GetText() const { return m_text; }
    void SetText(const std::string& value);
    TVokFont* GetFont() const { return m_font.get(); }
    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);

  protected:
    void Changed() {
        if (m_onChange) {
            m_onChange();
        }
    }

  private:
    std::function<void()> m_onChange;
    std::string m_text;
    std::unique_ptr<TVokFont> m_font;
    bool m_visible = true;
};

/// A label whose text is a format ("%X : %Y", "%V"): channel links, markers, hit points and
/// measurement lines.
class TZemMeasurementLabel : public TZemDisplayLabel {
  public:
    using TZemDisplayLabel::TZemDisplayLabel;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// The value label of a cursor's channel link.
class TZemOptionalLabel : public TZemDisplayLabel {
  public:
    using TZemDisplayLabel::TZemDisplayLabel;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// A new white Arial font of the given height and weight (the fonts displays create) that calls
/// `onChange` after every change.
std::unique_ptr<TVokFont> ZemMakeDisplayFont(int height, bool bold, std::function<void()> onChange);
