#pragma once

// The small rows of 16 × 16 glyph buttons drawn over a display: the chart's toolbar (hold,
// resume, copy, print, save, properties and zoom) and each axis's toolbar (zoom of that axis).
// A toolbar is no view: the display draws it last and asks it first about pointer presses.

#include "display/ZemDisplayTypes.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <QImage>

#include <array>
#include <functional>
#include <vector>

class TZemCanvas;
class TZemDataChart;
class TZemDataDisplay;
class TZemDisplayAxis;

/// One button of a toolbar: which glyph it shows, its states and what a press does.
struct TZemDisplayToolBarButton {
    /// Index of the glyph in the glyph lists (`TZemDisplayToolBar::kGlyphPlay` …).
    int m_glyph = 0;
    bool m_visible = true;
    bool m_enabled = true;
    /// Set by a press on the button, cleared by any release.
    bool m_pressed = false;
    /// Run once per press, inside the display's error guard; may be empty.
    std::function<void()> m_action;
};

/// The look of a glyph: which of the four glyph lists it is drawn from.
enum TZemToolBarGlyphState : uint8_t { tgsNormal, tgsMouseOver, tgsMouseDown, tgsDisabled };

/// A row (or two rows) of glyph buttons drawn over a display, 16 × 16 pixels each with 1 pixel
/// between them. GUI thread only. The toolbar belongs to its display (or axis) and keeps a plain
/// pointer to the display, which outlives it.
///
/// The four glyph lists (normal, mouse over, mouse down, disabled) are ARGB32 images with alpha
/// transparency, rebuilt at construction and after any colour change; then the display repaints.
///
/// Published: `Visible` (true), `AutoHide` (true), `GlyphColor` (0x00FFFF), `BorderColor`
/// (0x008000), `ButtonColor` (0), `MouseOverBorderColor` (0x00FF00), `MouseOverButtonColor`
/// (0x008000), `MouseDownBorderColor` (0x00FFFF), `MouseDownButtonColor` (0x008080),
/// `DisabledColor` (0x008000), `Cursor` (crHandPoint: the pointer over the toolbar).
class TZemDisplayToolBar : public TVokPersistent, public IVokPublished {
  public:
    /// Glyph indexes of the glyph lists.
    static constexpr int kGlyphPlay = 0;
    static constexpr int kGlyphPause = 1;
    static constexpr int kGlyphZoomIn = 2;
    static constexpr int kGlyphZoomOut = 3;
    static constexpr int kGlyphZoomReset = 4;
    static constexpr int kGlyphPrinter = 5;
    static constexpr int kGlyphDisk = 6;
    static constexpr int kGlyphCopy = 7;
    static constexpr int kGlyphWrench = 8;
    static constexpr int kGlyphZoomBack = 9;
    static constexpr int kGlyphZoomForward = 10;
    /// Size of a button square and the step from one button to the next.
    static constexpr int kButtonSize = 16;
    static constexpr int kButtonStep = 17;

    /// `display` must not be null and must outlive the toolbar.
    explicit TZemDisplayToolBar(TZemDataDisplay* display);
    ~TZemDisplayToolBar() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDataDisplay* GetDisplay() const { return m_display; }

    // --- Geometry -------------------------------------------------------------------------
    /// Top-left corner of the first button, in display pixels (0, 0 in the base).
    virtual int GetLeft() const { return 0; }
    virtual int GetTop() const { return 0; }
    /// With two rows the second row (at top + 17) starts after as many visible buttons as half
    /// the total number of buttons (integer halves).
    virtual bool HasTwoRows() const { return false; }
    /// The square of button `index`; empty for a hidden button or a bad index.
    TZemRect GetButtonRect(int index) const;
    /// The visible button whose square holds (x, y), or −1.
    int ButtonAt(int x, int y) const;
    int GetVisibleButtonCount() const;
    /// The pointer tracking rectangle: (left, top) to (left + trunc(visible × 17 ÷ 2), top + 33).
    TZemRect GetTrackRect() const;
    /// True when (x, y) lies inside the tracking rectangle.
    bool IsOverToolBar(int x, int y) const;

    // --- Drawing --------------------------------------------------------------------------
    /// Refreshes the buttons' states (`UpdateButtons`), then draws every visible button: its
    /// square filled in the display `Color`, then its glyph from the mouse-down list (pressed
    /// and under the display's pointer), the mouse-over list (under the pointer), the normal
    /// list (enabled) or the disabled list. Remembers whether a button was drawn under the
    /// pointer. The caller decides whether the toolbar shows at all.
    virtual void Draw(TZemCanvas& canvas);
    /// Sets the buttons' visible and enabled states from the display's state; nothing in the
    /// base.
    virtual void UpdateButtons() {}
    /// True when the last `Draw` drew a button under the pointer (in the mouse-over or
    /// mouse-down look).
    bool WasButtonDrawnUnderMouse() const { return m_buttonDrawnUnderMouse; }

    // --- Input ----------------------------------------------------------------------------
    /// A press at display pixel (x, y). On an enabled, visible button (and a mouse button the
    /// toolbar accepts): the button becomes pressed, its action runs at once inside the
    /// display's error guard, its square is invalidated, and the answer is true (the press goes
    /// no further). Elsewhere: pressed buttons are released and the answer is false.
    bool MouseDown(TZemMouseButton button, int x, int y);
    /// Releases every pressed button (invalidating those that were pressed).
    void MouseUp();
    /// Releases every pressed button without a repaint request (used by actions).
    void ReleaseButtons();

    // --- Buttons and glyphs ---------------------------------------------------------------
    std::vector<TZemDisplayToolBarButton>& GetButtons() { return m_buttons; }
    const std::vector<TZemDisplayToolBarButton>& GetButtons() const { return m_buttons; }
    /// One of the four glyph lists (11 glyphs of 16 × 16 side by side, ARGB32).
    const QImage& GetGlyphList(TZemToolBarGlyphState state) const {
        return m_glyphLists[static_cast<size_t>(state)];
    }

    // --- Published properties -------------------------------------------------------------
    bool GetVisible() const { return m_visible; }
    /// A change repaints the display.
    void SetVisible(bool value);
    bool GetAutoHide() const { return m_autoHide; }
    /// A change repaints the display.
    void SetAutoHide(bool value);
    TVokCursor GetCursor() const { return m_cursor; }
    void SetCursor(TVokCursor value) { m_cursor = value; }
    // Colour setters rebuild the glyph lists and repaint the display when the value changes.
    TVokColor GetGlyphColor() const { return m_glyphColor; }
    void SetGlyphColor(TVokColor value) { SetColor(m_glyphColor, value); }
    TVokColor GetBorderColor() const { return m_borderColor; }
    void SetBorderColor(TVokColor value) { SetColor(m_borderColor, value); }
    TVokColor GetButtonColor() const { return m_buttonColor; }
    void SetButtonColor(TVokColor value) { SetColor(m_buttonColor, value); }
    TVokColor GetMouseOverBorderColor() const { return m_mouseOverBorderColor; }
    void SetMouseOverBorderColor(TVokColor value) { SetColor(m_mouseOverBorderColor, value); }
    TVokColor GetMouseOverButtonColor() const { return m_mouseOverButtonColor; }
    void SetMouseOverButtonColor(TVokColor value) { SetColor(m_mouseOverButtonColor, value); }
    TVokColor GetMouseDownBorderColor() const { return m_mouseDownBorderColor; }
    void SetMouseDownBorderColor(TVokColor value) { SetColor(m_mouseDownBorderColor, value); }
    TVokColor GetMouseDownButtonColor() const { return m_mouseDownButtonColor; }
    void SetMouseDownButtonColor(TVokColor value) { SetColor(m_mouseDownButtonColor, value); }
    TVokColor GetDisabledColor() const { return m_disabledColor; }
    void SetDisabledColor(TVokColor value) { SetColor(m_disabledColor, value); }

    /// Copies the published values of another toolbar.
    void Assign(const TVokPersistent* source) override;

  protected:
    /// Whether a press with `button` may press a toolbar button (all buttons in the base).
    virtual bool AcceptsMouseButton(TZemMouseButton button) const {
        (void)button;
        return true;
    }
    /// Appends a button; returns its index.
    int AddButton(int glyph, std::function<void()> action);
    /// Requests a repaint of button `index`'s square.
    void InvalidateButton(int index);

  private:
    void SetColor(TVokColor& field, TVokColor value);
    /// Rebuilds the four glyph lists from the colours, then repaints the display.
    void RebuildGlyphs();

    TZemDataDisplay* m_display;
    bool m_visible = true;
    bool m_autoHide = true;
    TVokColor m_glyphColor = 0x00FFFF;
    TVokColor m_borderColor = 0x008000;
    TVokColor m_buttonColor = 0;
    TVokColor m_mouseOverBorderColor = 0x00FF00;
    TVokColor m_mouseOverButtonColor = 0x008000;
    TVokColor m_mouseDownBorderColor = 0x00FFFF;
    TVokColor m_mouseDownButtonColor = 0x008080;
    TVokColor m_disabledColor = 0x008000;
    TVokCursor m_cursor = kVokCrHandPoint;
    std::array<QImage, 4> m_glyphLists; ///< by TZemToolBarGlyphState
    std::vector<TZemDisplayToolBarButton> m_buttons;
    bool m_buttonDrawnUnderMouse = false;
};

/// The toolbar of the scope and the waterfall: 11 buttons in the order play, pause, copy, printer,
/// disk, wrench, zoom in, zoom out, zoom reset, zoom back, zoom forward; at (display width −
/// trunc(visible × 17 ÷ 2) − 2, 3) in two rows. Only the left mouse button presses a button.
///
/// Play is shown only while the display holds, pause only while it does not; zoom reset is
/// enabled while zoomed, zoom back while the undo history is not empty, zoom forward while the
/// redo history is not empty. Printer and disk set the hold flag and release the buttons (the
/// print and save dialogs are not attached yet).
class TZemScopeToolBar : public TZemDisplayToolBar {
  public:
    /// Button indexes in the list.
    static constexpr int kPlayButton = 0;
    static constexpr int kPauseButton = 1;
    static constexpr int kCopyButton = 2;
    static constexpr int kPrinterButton = 3;
    static constexpr int kDiskButton = 4;
    static constexpr int kWrenchButton = 5;
    static constexpr int kZoomInButton = 6;
    static constexpr int kZoomOutButton = 7;
    static constexpr int kZoomResetButton = 8;
    static constexpr int kZoomBackButton = 9;
    static constexpr int kZoomForwardButton = 10;

    /// `display` must not be null and must outlive the toolbar.
    explicit TZemScopeToolBar(TZemDataDisplay* display);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int GetLeft() const override;
    int GetTop() const override { return 3; }
    bool HasTwoRows() const override { return true; }
    void UpdateButtons() override;

  protected:
    bool AcceptsMouseButton(TZemMouseButton button) const override { return button == mbLeft; }

  private:
    TZemDataDisplay* m_chart;
};

/// An axis's toolbar: zoom in and zoom out of that axis alone. For an axis running vertically
/// it sits at (3, the data view's top) in two rows; otherwise at (the data view's left, the axis
/// bottom − 16 − 3) in one row.
class TZemAxisToolBar : public TZemDisplayToolBar {
  public:
    static constexpr int kZoomInButton = 0;
    static constexpr int kZoomOutButton = 1;

    /// `axis` must not be null and must outlive the toolbar.
    explicit TZemAxisToolBar(TZemDisplayAxis* axis);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayAxis* GetAxis() const { return m_axis; }
    int GetLeft() const override;
    int GetTop() const override;
    bool HasTwoRows() const override;

  private:
    TZemDisplayAxis* m_axis;
};
