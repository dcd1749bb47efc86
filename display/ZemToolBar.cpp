#include "display/ZemToolBar.h"

#include "display/ZemCanvas.h"
#include "display/ZemDataChart.h"
#include "display/ZemDataDisplay.h"
#include "display/ZemDisplayAxis.h"
#include "display/ZemGlyphs.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

// ---- TZemDisplayToolBar -------------------------------------------------------------------------

TZemDisplayToolBar::TZemDisplayToolBar(TZemDataDisplay* display) : m_display(display) {
    if (display == nullptr) {
        throw std::invalid_argument("A toolbar needs a display, got none");
    }
    // No repaint here: the display is still being built.
    RebuildGlyphs();
}

TZemDisplayToolBar::~TZemDisplayToolBar() = default;

const TVokClassInfo& TZemDisplayToolBar::ClassInfo() {
    using T = TZemDisplayToolBar;
    static const TVokClassInfo info(
        "TZemDisplayToolBar", nullptr, nullptr,
        {
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
            TVokProp::Bool("AutoHide", &T::GetAutoHide, &T::SetAutoHide, true),
            TVokProp::Color("GlyphColor", &T::GetGlyphColor, &T::SetGlyphColor, 0x00FFFF),
            TVokProp::Color("BorderColor", &T::GetBorderColor, &T::SetBorderColor, 0x008000),
            TVokProp::Color("ButtonColor", &T::GetButtonColor, &T::SetButtonColor, 0),
            TVokProp::Color("MouseOverBorderColor", &T::GetMouseOverBorderColor,
                            &T::SetMouseOverBorderColor, 0x00FF00),
            TVokProp::Color("MouseOverButtonColor", &T::GetMouseOverButtonColor,
                            &T::SetMouseOverButtonColor, 0x008000),
            TVokProp::Color("MouseDownBorderColor", &T::GetMouseDownBorderColor,
                            &T::SetMouseDownBorderColor, 0x00FFFF),
            TVokProp::Color("MouseDownButtonColor", &T::GetMouseDownButtonColor,
                            &T::SetMouseDownButtonColor, 0x008080),
            TVokProp::Color("DisabledColor", &T::GetDisabledColor, &T::SetDisabledColor, 0x008000),
            TVokProp::Cursor("Cursor", &T::GetCursor, &T::SetCursor, kVokCrHandPoint),
        });
    return info;
}

void TZemDisplayToolBar::RebuildGlyphs() {
    m_glyphLists[tgsNormal] = ZemBuildGlyphList(m_glyphColor, m_buttonColor, m_borderColor);
    m_glyphLists[tgsMouseOver] =
        ZemBuildGlyphList(m_glyphColor, m_mouseOverButtonColor, m_mouseOverBorderColor);
    m_glyphLists[tgsMouseDown] =
        ZemBuildGlyphList(m_glyphColor, m_mouseDownButtonColor, m_mouseDownBorderColor);
    m_glyphLists[tgsDisabled] = ZemBuildGlyphList(m_disabledColor, m_buttonColor, m_disabledColor);
}

void TZemDisplayToolBar::SetColor(TVokColor& field, TVokColor value) {
    if (field != value) {
        field = value;
        RebuildGlyphs();
        m_display->RedrawDisplay();
    }
}

void TZemDisplayToolBar::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        m_display->RedrawDisplay();
    }
}

void TZemDisplayToolBar::SetAutoHide(bool value) {
    if (value != m_autoHide) {
        m_autoHide = value;
        m_display->RedrawDisplay();
    }
}

void TZemDisplayToolBar::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TZemDisplayToolBar*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    m_visible = other->m_visible;
    m_autoHide = other->m_autoHide;
    m_glyphColor = other->m_glyphColor;
    m_borderColor = other->m_borderColor;
    m_buttonColor = other->m_buttonColor;
    m_mouseOverBorderColor = other->m_mouseOverBorderColor;
    m_mouseOverButtonColor = other->m_mouseOverButtonColor;
    m_mouseDownBorderColor = other->m_mouseDownBorderColor;
    m_mouseDownButtonColor = other->m_mouseDownButtonColor;
    m_disabledColor = other->m_disabledColor;
    m_cursor = other->m_cursor;
    RebuildGlyphs();
    m_display->RedrawDisplay();
}

int TZemDisplayToolBar::AddButton(int glyph, std::function<void()> action) {
    TZemDisplayToolBarButton button;
    button.m_glyph = glyph;
    button.m_action = std::move(action);
    m_buttons.push_back(std::move(button));
    return static_cast<int>(m_buttons.size()) - 1;
}

int TZemDisplayToolBar::GetVisibleButtonCount() const {
    int count = 0;
    for (const TZemDisplayToolBarButton& button : m_buttons) {
        count += button.m_visible ? 1 : 0;
    }
    return count;
}

TZemRect TZemDisplayToolBar::GetButtonRect(int index) const {
    if (index < 0 || index >= static_cast<int>(m_buttons.size()) ||
        !m_buttons[static_cast<size_t>(index)].m_visible) {
        return {};
    }
    const int left = GetLeft();
    const int top = GetTop();
    // The second row starts after half the total number of buttons, counted over visible ones.
    const int firstRow = HasTwoRows() ? static_cast<int>(m_buttons.size()) / 2 : -1;
    int x = left;
    int y = top;
    int placed = 0;
    for (int i = 0; i <= index; ++i) {
        if (!m_buttons[static_cast<size_t>(i)].m_visible) {
            continue;
        }
        if (placed == firstRow) {
            x = left;
            y = top + kButtonStep;
        }
        if (i == index) {
            break;
        }
        x += kButtonStep;
        ++placed;
    }
    return {x, y, x + kButtonSize, y + kButtonSize};
}

int TZemDisplayToolBar::ButtonAt(int x, int y) const {
    for (int index = 0; index < static_cast<int>(m_buttons.size()); ++index) {
        if (GetButtonRect(index).Contains(x, y)) {
            return index;
        }
    }
    return -1;
}

TZemRect TZemDisplayToolBar::GetTrackRect() const {
    const int left = GetLeft();
    const int top = GetTop();
    return {left, top, left + GetVisibleButtonCount() * kButtonStep / 2, top + 33};
}

bool TZemDisplayToolBar::IsOverToolBar(int x, int y) const {
    return GetTrackRect().Contains(x, y);
}

void TZemDisplayToolBar::Draw(TZemCanvas& canvas) {
    UpdateButtons();
    m_buttonDrawnUnderMouse = false;
    const TVokColor background = m_display->GetColor();
    canvas.SetPen(background);
    canvas.SetBrush(background);
    const bool mouseInside = m_display->IsMouseInside();
    const int mouseX = m_display->GetMouseX();
    const int mouseY = m_display->GetMouseY();
    for (int index = 0; index < static_cast<int>(m_buttons.size()); ++index) {
        const TZemDisplayToolBarButton& button = m_buttons[static_cast<size_t>(index)];
        if (!button.m_visible) {
            continue;
        }
        const TZemRect rect = GetButtonRect(index);
        canvas.FillRect(rect.m_left, rect.m_top, rect.m_right, rect.m_bottom);
        const bool underMouse = mouseInside && rect.Contains(mouseX, mouseY);
        TZemToolBarGlyphState state = tgsDisabled;
        if (underMouse && button.m_pressed) {
            state = tgsMouseDown;
            m_buttonDrawnUnderMouse = true;
        } else if (underMouse) {
            state = tgsMouseOver;
            m_buttonDrawnUnderMouse = true;
        } else if (button.m_enabled) {
            state = tgsNormal;
        }
        canvas.DrawGlyph(rect.m_left, rect.m_top, GetGlyphList(state), button.m_glyph);
    }
}

bool TZemDisplayToolBar::MouseDown(TZemMouseButton mouseButton, int x, int y) {
    const int index = AcceptsMouseButton(mouseButton) ? ButtonAt(x, y) : -1;
    if (index < 0 || !m_buttons[static_cast<size_t>(index)].m_enabled) {
        MouseUp();
        return false;
    }
    m_buttons[static_cast<size_t>(index)].m_pressed = true;
    // The action may change the buttons (and even the list), so it runs on a copy.
    const std::function<void()> action = m_buttons[static_cast<size_t>(index)].m_action;
    if (action) {
        ZemGuard("toolbar button", action);
    }
    InvalidateButton(index);
    return true;
}

void TZemDisplayToolBar::MouseUp() {
    for (int index = 0; index < static_cast<int>(m_buttons.size()); ++index) {
        if (m_buttons[static_cast<size_t>(index)].m_pressed) {
            m_buttons[static_cast<size_t>(index)].m_pressed = false;
            InvalidateButton(index);
        }
    }
}

void TZemDisplayToolBar::ReleaseButtons() {
    for (TZemDisplayToolBarButton& button : m_buttons) {
        button.m_pressed = false;
    }
}

void TZemDisplayToolBar::InvalidateButton(int index) {
    const TZemRect rect = GetButtonRect(index);
    if (!rect.IsEmpty()) {
        m_display->InvalidateRect(rect);
    }
}

// ---- TZemScopeToolBar ---------------------------------------------------------------------------

TZemScopeToolBar::TZemScopeToolBar(TZemDataDisplay* display)
    : TZemDisplayToolBar(display), m_chart(display) {
    AddButton(kGlyphPlay, [this] { m_chart->SetHold(false); });
    AddButton(kGlyphPause, [this] { m_chart->SetHold(true); });
    AddButton(kGlyphCopy, [this] { m_chart->CopyToClipboard(); });
    // Printing and saving hold the picture first; their dialogs are attached to the chart later,
    // and a cancelled dialog leaves the display held so that play offers to resume.
    AddButton(kGlyphPrinter, [this] {
        m_chart->SetHold(true);
        ReleaseButtons();
    });
    AddButton(kGlyphDisk, [this] {
        m_chart->SetHold(true);
        ReleaseButtons();
    });
    AddButton(kGlyphWrench, [this] { m_chart->ShowDefaultProperties(); });
    AddButton(kGlyphZoomIn, [this] { m_chart->Zoom(0.5); });
    AddButton(kGlyphZoomOut, [this] { m_chart->Zoom(2.0); });
    AddButton(kGlyphZoomReset, [this] { m_chart->Unzoom(); });
    AddButton(kGlyphZoomBack, [this] { m_chart->ZoomUndo(); });
    AddButton(kGlyphZoomForward, [this] { m_chart->ZoomRedo(); });
}

const TVokClassInfo& TZemScopeToolBar::ClassInfo() {
    static const TVokClassInfo info("TZemScopeToolBar", &TZemDisplayToolBar::ClassInfo(), nullptr,
                                    {});
    return info;
}

int TZemScopeToolBar::GetLeft() const {
    return m_chart->GetDrawWidth() - GetVisibleButtonCount() * kButtonStep / 2 - 2;
}

void TZemScopeToolBar::UpdateButtons() {
    std::vector<TZemDisplayToolBarButton>& buttons = GetButtons();
    const bool hold = m_chart->GetHold();
    buttons[kPlayButton].m_visible = hold;
    buttons[kPauseButton].m_visible = !hold;
    buttons[kZoomResetButton].m_enabled = m_chart->IsZoomed();
    buttons[kZoomBackButton].m_enabled = !m_chart->GetUndoHistory().IsEmpty();
    buttons[kZoomForwardButton].m_enabled = !m_chart->GetRedoHistory().IsEmpty();
}

// ---- TZemAxisToolBar ----------------------------------------------------------------------------

namespace {
TZemDataDisplay* DisplayOfAxis(TZemDisplayAxis* axis) {
    if (axis == nullptr) {
        throw std::invalid_argument("An axis toolbar needs an axis, got none");
    }
    return axis->GetDisplay();
}
} // namespace

TZemAxisToolBar::TZemAxisToolBar(TZemDisplayAxis* axis)
    : TZemDisplayToolBar(DisplayOfAxis(axis)), m_axis(axis) {
    AddButton(kGlyphZoomIn, [this] { m_axis->ZoomAxisIn(); });
    AddButton(kGlyphZoomOut, [this] { m_axis->ZoomAxisOut(); });
}

const TVokClassInfo& TZemAxisToolBar::ClassInfo() {
    static const TVokClassInfo info("TZemAxisToolBar", &TZemDisplayToolBar::ClassInfo(), nullptr,
                                    {});
    return info;
}

int TZemAxisToolBar::GetLeft() const {
    if (m_axis->RunsVertically()) {
        return 3;
    }
    const TZemDisplayView* dataView = GetDisplay()->GetDataView();
    return dataView != nullptr ? dataView->Left() : 0;
}

int TZemAxisToolBar::GetTop() const {
    if (m_axis->RunsVertically()) {
        const TZemDisplayView* dataView = GetDisplay()->GetDataView();
        return dataView != nullptr ? dataView->Top() : 0;
    }
    return m_axis->GetRect().m_bottom - kButtonSize - 3;
}

bool TZemAxisToolBar::HasTwoRows() const {
    return m_axis->RunsVertically();
}
