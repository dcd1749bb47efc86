#pragma once

#include "display/ZemDisplayTypes.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <memory>
#include <vector>

class TZemCanvas;
class TZemDataDisplay;

/// What a rendering hands every view: the surface, the visible X range, the Y mapping, and the
/// flags that change what is drawn. The Y mapping is the Y axis's (offset, scale) for the range
/// (visible maximum, visible minimum).
struct TZemDrawArgs {
    TZemCanvas* m_canvas = nullptr;
    double m_xMin = 0.0;
    double m_xMax = 0.0;
    double m_yMax = 0.0;
    double m_yMin = 0.0;
    int m_yOffset = 0;
    double m_yScale = 1.0;
    bool m_logarithmic = false;
    /// True for export, printing and `DrawTo`: no toolbar, hover buttons, track marks or focus.
    bool m_exporting = false;
    bool m_vertical = false;
};

/// The size of a view across its alignment: computed (`AutoSize`) or fixed (`Size`).
/// Published: `AutoSize` (true), `Size` (100). A change re-lays out the display.
class TZemDisplayViewSize : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayViewSize(TZemDataDisplay* display) : m_display(display) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetAutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value);
    uint32_t GetSize() const { return m_size; }
    void SetSize(uint32_t value);

  private:
    TZemDataDisplay* m_display;
    bool m_autoSize = true;
    uint32_t m_size = 100;
};

/// One area of a display (title, legend, axis, data view): its rectangle from the last layout,
/// its preferred size, pointer handling and drawing. Views are owned by their display's view
/// list and live on the GUI thread.
///
/// `Width()`/`Height()` are right − left − 1 and bottom − top − 1 (not below 0): a view one
/// pixel wide is not shown.
class TZemDisplayView : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemDisplayView(TZemDataDisplay* display) : m_display(display) {}
    ~TZemDisplayView() override = default;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDataDisplay* GetDisplay() const { return m_display; }
    const TZemRect& GetRect() const { return m_rect; }
    void SetRect(const TZemRect& rect) { m_rect = rect; }
    bool IsMouseInside() const { return m_mouseInside; }

    /// Preferred width and height; −1 means "not set".
    virtual void GetPreferredSize(int& width, int& height) const = 0;
    /// Room the view asks of the client view before and after it along its edge.
    virtual int GetLeadingMargin() const { return 0; }
    virtual int GetTrailingMargin() const { return 0; }
    virtual TZemViewAlignment GetAlignment() const = 0;

    int Left() const { return m_rect.m_left; }
    int Top() const { return m_rect.m_top; }
    int Width() const { return std::max(0, m_rect.m_right - m_rect.m_left - 1); }
    int Height() const { return std::max(0, m_rect.m_bottom - m_rect.m_top - 1); }
    /// Requests a repaint of the view's rectangle.
    virtual void Invalidate();

    /// Tracks entering and leaving the rectangle (view mouse entered / left).
    virtual void MouseMove(TZemShiftState shift, int x, int y);
    virtual void MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y);
    virtual void MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x, int y);
    /// The pointer left the whole display: clears the inside flag (and tells `ViewMouseLeft`).
    virtual void DisplayMouseLeft();
    virtual void DisplayMouseEntered() {}
    virtual void ViewMouseLeft() {}
    virtual void ViewMouseEntered() {}
    virtual void WheelDown(TZemShiftState shift, int x, int y);
    virtual void WheelUp(TZemShiftState shift, int x, int y);

    /// Width and height at least 1 (optional views: and `Visible`).
    virtual bool IsShown() const { return Width() >= 1 && Height() >= 1; }
    /// Whether the layout gives the view room.
    virtual bool TakesPart() const { return true; }
    /// The rectangle for pointer tests: the view's rectangle when shown, else empty.
    TZemRect GetHitRect() const { return IsShown() ? m_rect : TZemRect{}; }

    virtual void DrawView(const TZemDrawArgs& args) { (void)args; }
    /// Called instead of `DrawView` for a shown view outside the repainted area.
    virtual void SkipView(const TZemDrawArgs& args) { (void)args; }
    /// Drawn after the channels (zoom rectangle and the like).
    virtual void DrawOverlay(TZemCanvas& canvas) { (void)canvas; }

  protected:
    TZemDataDisplay* m_display;

  private:
    TZemRect m_rect;
    bool m_mouseInside = false;
};

/// A view whose size across its edge is computed or fixed (`ViewSize`).
class TZemCustomSizeDisplayView : public TZemDisplayView {
  public:
    explicit TZemCustomSizeDisplayView(TZemDataDisplay* display);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayViewSize* GetViewSize() const { return m_viewSize.get(); }
    /// With `ViewSize.AutoSize` the computed size, otherwise `ViewSize.Size` for both.
    void GetPreferredSize(int& width, int& height) const override;

  protected:
    /// The size the view needs for its contents.
    virtual void ComputePreferredSize(int& width, int& height) const = 0;

  private:
    std::unique_ptr<TZemDisplayViewSize> m_viewSize;
};

/// A view the user can hide (`Visible`, default true; a change re-lays out the display).
class TZemOptionalView : public TZemCustomSizeDisplayView {
  public:
    explicit TZemOptionalView(TZemDataDisplay* display) : TZemCustomSizeDisplayView(display) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    bool IsShown() const override { return m_visible && TZemDisplayView::IsShown(); }
    bool TakesPart() const override { return m_visible; }

  private:
    bool m_visible = true;
};

/// The ordered views of a display: layout and paint order. Owns its views.
class TZemDisplayViews {
  public:
    void Add(TZemDisplayView* view) { m_views.emplace_back(view); }
    int GetCount() const { return static_cast<int>(m_views.size()); }
    TZemDisplayView* Get(int index) const { return m_views[static_cast<size_t>(index)].get(); }
    auto begin() const { return m_views.begin(); }
    auto end() const { return m_views.end(); }

  private:
    std::vector<std::unique_ptr<TZemDisplayView>> m_views;
};
