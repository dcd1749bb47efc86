#include "display/ZemLegend.h"

#include "display/ZemCanvas.h"
#include "display/ZemDataDisplay.h"
#include "display/ZemFonts.h"
#include "display/ZemScopeItems.h"

#include <algorithm>

namespace {

/// Every walk over the legend measures rows with this text.
const std::string kSample = "Xg";

} // namespace

// ---- TZemDisplayTitle ---------------------------------------------------------------------------

TZemDisplayTitle::TZemDisplayTitle(TZemDataDisplay* display)
    : TZemOptionalView(display),
      m_font(ZemMakeDisplayFont(-21, true, [this] { m_display->InvalidateLayout(); })) {
}

TZemDisplayTitle::~TZemDisplayTitle() = default;

const TVokClassInfo& TZemDisplayTitle::ClassInfo() {
    using T = TZemDisplayTitle;
    static const TVokClassInfo info("TZemDisplayTitle", &TZemOptionalView::ClassInfo(), nullptr,
                                    {
                                        TVokProp::String("Text", &T::GetText, &T::SetText, ""),
                                        TVokProp::Object("Font", &T::GetFont),
                                    });
    return info;
}

void TZemDisplayTitle::SetText(const std::string& value) {
    if (value != m_text) {
        m_text = value;
        m_display->InvalidateLayout();
    }
}

void TZemDisplayTitle::ComputePreferredSize(int& width, int& height) const {
    width = -1;
    height = ZemTextHeight(*m_font, kSample) + 16;
}

void TZemDisplayTitle::DrawView(const TZemDrawArgs& args) {
    if (args.m_canvas == nullptr || m_text.empty()) {
        return;
    }
    TZemCanvas& canvas = *args.m_canvas;
    canvas.SetFont(ZemFontDescOf(*m_font));
    canvas.SetBrushStyle(zbsClear);
    // Centred on the whole display, not on the view.
    const int left = (m_display->GetDrawWidth() - canvas.TextWidth(m_text)) / 2;
    canvas.TextOut(left, Top() + 4, m_text);
}

// ---- TZemLegendGroup ----------------------------------------------------------------------------

TZemLegendGroup::TZemLegendGroup(TZemLegendView* legend, std::string defaultName,
                                 TCollectionSource source)
    : m_legend(legend), m_caption(std::make_unique<TZemDisplayLabel>(
                            [this] { m_legend->GetDisplay()->InvalidateLayout(); }, -13, true)),
      m_source(std::move(source)), m_defaultName(std::move(defaultName)) {
}

TZemLegendGroup::~TZemLegendGroup() = default;

const TVokClassInfo& TZemLegendGroup::ClassInfo() {
    using T = TZemLegendGroup;
    static const TVokClassInfo info(
        "TZemLegendGroup", nullptr, nullptr,
        {
            TVokProp::Object("Caption", &T::GetCaption),
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
            TVokProp::Cursor("Cursor", &T::GetCursor, &T::SetCursor, kVokCrHandPoint),
            TVokProp::Event("OnItemClick", &T::GetOnItemClick, &T::SetOnItemClick),
        });
    return info;
}

std::string TZemLegendGroup::GetCaptionText() const {
    return m_caption->GetText().empty() ? m_defaultName : m_caption->GetText();
}

int TZemLegendGroup::GetItemCount() const {
    const TZemDisplayCollection* collection = GetCollection();
    return collection != nullptr ? collection->GetCount() : 0;
}

TZemDisplayCollectionItem* TZemLegendGroup::GetItem(int index) const {
    const TZemDisplayCollection* collection = GetCollection();
    if (collection == nullptr || index < 0 || index >= collection->GetCount()) {
        return nullptr;
    }
    return collection->GetDisplayItem(index);
}

void TZemLegendGroup::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        m_legend->GetDisplay()->InvalidateLayout();
    }
}

// ---- TZemLegendView -----------------------------------------------------------------------------

TZemLegendView::TZemLegendView(TZemDataDisplay* display)
    : TZemOptionalView(display),
      m_font(ZemMakeDisplayFont(-11, false, [this] { m_display->InvalidateLayout(); })) {
}

TZemLegendView::~TZemLegendView() = default;

const TVokClassInfo& TZemLegendView::ClassInfo() {
    using T = TZemLegendView;
    static const TVokClassInfo info(
        "TZemLegendView", &TZemOptionalView::ClassInfo(), nullptr,
        {
            TVokProp::Object("Font", &T::GetFont),
            TVokProp::Color("MouseOverBorderColor", &T::GetMouseOverBorderColor,
                            &T::SetMouseOverBorderColor, 0x00FF00),
            TVokProp::Color("MouseOverButtonColor", &T::GetMouseOverButtonColor,
                            &T::SetMouseOverButtonColor, 0x008000),
            TVokProp::Color("MouseDownBorderColor", &T::GetMouseDownBorderColor,
                            &T::SetMouseDownBorderColor, 0x00FFFF),
            TVokProp::Color("MouseDownButtonColor", &T::GetMouseDownButtonColor,
                            &T::SetMouseDownButtonColor, 0x008080),
            TVokProp::Bool("ButtonsEnabled", &T::GetButtonsEnabled, &T::SetButtonsEnabled, true),
        });
    return info;
}

void TZemLegendView::SetColorValue(TVokColor& field, TVokColor value) {
    if (field != value) {
        field = value;
        m_display->RedrawDisplay();
    }
}

void TZemLegendView::SetMouseOverBorderColor(TVokColor value) {
    SetColorValue(m_mouseOverBorderColor, value);
}
void TZemLegendView::SetMouseOverButtonColor(TVokColor value) {
    SetColorValue(m_mouseOverButtonColor, value);
}
void TZemLegendView::SetMouseDownBorderColor(TVokColor value) {
    SetColorValue(m_mouseDownBorderColor, value);
}
void TZemLegendView::SetMouseDownButtonColor(TVokColor value) {
    SetColorValue(m_mouseDownButtonColor, value);
}

void TZemLegendView::SetButtonsEnabled(bool value) {
    if (value == m_buttonsEnabled) {
        return;
    }
    m_buttonsEnabled = value;
    if (!value) {
        for (const auto& group : m_groups) {
            group->m_hoverIndex = -1;
            group->m_pressedIndex = -1;
        }
        RestoreDisplayCursor();
    }
    m_display->RedrawDisplay();
}

TZemLegendGroup* TZemLegendView::AddGroup(std::string defaultName,
                                          TZemLegendGroup::TCollectionSource source) {
    m_groups.push_back(
        std::make_unique<TZemLegendGroup>(this, std::move(defaultName), std::move(source)));
    return m_groups.back().get();
}

bool TZemLegendView::IsGroupShown(const TZemLegendGroup& group) const {
    return group.m_visible && group.GetItemCount() > 0;
}

int TZemLegendView::GetRowHeight() const {
    return std::max(ZemTextHeight(*m_font, kSample) + 1, 6);
}

void TZemLegendView::ComputePreferredSize(int& width, int& height) const {
    width = 0;
    height = -1;
    for (const auto& group : m_groups) {
        if (!IsGroupShown(*group)) {
            continue;
        }
        const TZemDisplayLabel& caption = *group->m_caption;
        if (caption.GetVisible()) {
            width = std::max(width, ZemTextWidth(*caption.GetFont(), group->GetCaptionText()) + 23);
        }
        for (int index = 0; index < group->GetItemCount(); ++index) {
            const TZemDisplayCollectionItem* item = group->GetItem(index);
            if (item->IsItemVisible()) {
                width = std::max(width, ZemTextWidth(*m_font, item->GetName()) + 30);
            }
        }
    }
}

std::vector<TZemLegendView::TItemPlace> TZemLegendView::HitWalk() const {
    std::vector<TItemPlace> places;
    const int rowHeight = GetRowHeight();
    const int half = ZemTextHeight(*m_font, kSample) / 2;
    const TZemRect& rect = GetRect();
    int y = rect.m_top + rowHeight / 2 + 1;
    for (int groupIndex = 0; groupIndex < GetGroupCount(); ++groupIndex) {
        const TZemLegendGroup& group = *m_groups[static_cast<size_t>(groupIndex)];
        if (!IsGroupShown(group)) {
            continue;
        }
        if (group.m_caption->GetVisible()) {
            y -= 6;
            y += std::max(ZemTextHeight(*group.m_caption->GetFont(), kSample) + 1, 6);
        }
        for (int index = 0; index < group.GetItemCount(); ++index) {
            if (!group.GetItem(index)->IsItemVisible()) {
                continue;
            }
            places.push_back({groupIndex,
                              index,
                              {rect.m_left + 4, y - half, rect.m_right - 2, y + rowHeight - half}});
            y += rowHeight;
        }
        y += rowHeight;
    }
    return places;
}

TZemRect TZemLegendView::GetItemButtonRect(int groupIndex, int itemIndex) const {
    for (const TItemPlace& place : HitWalk()) {
        if (place.m_group == groupIndex && place.m_item == itemIndex) {
            return place.m_button;
        }
    }
    return {};
}

bool TZemLegendView::FindItemAt(int x, int y, int& groupIndex, int& itemIndex) const {
    if (!GetHitRect().Contains(x, y)) {
        return false;
    }
    for (const TItemPlace& place : HitWalk()) {
        if (place.m_button.Contains(x, y)) {
            groupIndex = place.m_group;
            itemIndex = place.m_item;
            return true;
        }
    }
    return false;
}

void TZemLegendView::DrawHoverButton(TZemCanvas& canvas, const TZemRect& box, bool pressed) {
    const TVokColor fill = pressed ? m_mouseDownButtonColor : m_mouseOverButtonColor;
    const TVokColor border = pressed ? m_mouseDownBorderColor : m_mouseOverBorderColor;
    canvas.SetBrush(fill);
    canvas.FillRect(box.m_left, box.m_top, box.m_right, box.m_bottom);
    // The four sides without their corner pixels, and one pixel inside each corner: the corners
    // look rounded.
    const int left = box.m_left;
    const int top = box.m_top;
    const int right = box.m_right - 1;
    const int bottom = box.m_bottom - 1;
    canvas.SetPen(border);
    canvas.MoveTo(left + 1, top);
    canvas.LineTo(right, top);
    canvas.MoveTo(left + 1, bottom);
    canvas.LineTo(right, bottom);
    canvas.MoveTo(left, top + 1);
    canvas.LineTo(left, bottom);
    canvas.MoveTo(right, top + 1);
    canvas.LineTo(right, bottom);
    canvas.SetPixel(left + 1, top + 1, border);
    canvas.SetPixel(right - 1, top + 1, border);
    canvas.SetPixel(left + 1, bottom - 1, border);
    canvas.SetPixel(right - 1, bottom - 1, border);
}

void TZemLegendView::DrawView(const TZemDrawArgs& args) {
    if (args.m_canvas == nullptr) {
        return;
    }
    TZemCanvas& canvas = *args.m_canvas;
    const TZemFontDesc font = ZemFontDescOf(*m_font);
    const int textHeight = ZemTextHeight(*m_font, kSample);
    const int rowHeight = std::max(textHeight + 1, 6);
    const int half = textHeight / 2;
    const int left = GetRect().m_left;
    const int right = GetRect().m_right;
    const bool buttons = m_buttonsEnabled && !args.m_exporting;
    int y = GetRect().m_top + rowHeight / 2 + 2;
    for (const auto& groupPointer : m_groups) {
        const TZemLegendGroup& group = *groupPointer;
        if (!IsGroupShown(group)) {
            continue;
        }
        const TZemDisplayLabel& caption = *group.m_caption;
        if (caption.GetVisible()) {
            const int captionHeight = ZemTextHeight(*caption.GetFont(), kSample);
            y -= 6;
            canvas.SetBrushStyle(zbsClear);
            canvas.SetFont(ZemFontDescOf(*caption.GetFont()));
            canvas.TextOut(left + 4, y - captionHeight / 2, group.GetCaptionText());
            y += std::max(captionHeight + 1, 6);
        }
        for (int index = 0; index < group.GetItemCount(); ++index) {
            const TZemDisplayCollectionItem* item = group.GetItem(index);
            if (!item->IsItemVisible()) {
                continue;
            }
            if (buttons && (index == group.m_hoverIndex || item->IsLegendButtonHighlighted())) {
                y -= 1;
                DrawHoverButton(canvas, {left + 5, y - half, right - 5, y + rowHeight - half},
                                index == group.m_pressedIndex);
                y += 1;
            }
            canvas.SetPen(item->GetItemColor());
            canvas.SetBrush(item->GetLegendColor());
            canvas.Rectangle(left + 6, y, left + 20, y + 3);
            canvas.SetBrushStyle(zbsClear);
            canvas.SetFont(font);
            canvas.TextOut(left + 23, y - half, item->GetName());
            y += rowHeight;
        }
        y += rowHeight;
    }
}

void TZemLegendView::InvalidateItem(int groupIndex, int itemIndex) {
    if (itemIndex < 0) {
        return;
    }
    TZemRect rect = GetItemButtonRect(groupIndex, itemIndex);
    // The drawn button sits one pixel above the hit rectangle.
    rect.m_top -= 1;
    m_display->InvalidateRect(rect);
}

void TZemLegendView::RestoreDisplayCursor() {
    if (m_cursorShown) {
        m_cursorShown = false;
        m_display->ShowCursorShape(m_display->GetCursor());
    }
}

void TZemLegendView::MouseMove(TZemShiftState shift, int x, int y) {
    TZemOptionalView::MouseMove(shift, x, y);
    if (!m_buttonsEnabled) {
        return;
    }
    int hitGroup = -1;
    int hitItem = -1;
    FindItemAt(x, y, hitGroup, hitItem);
    for (int groupIndex = 0; groupIndex < GetGroupCount(); ++groupIndex) {
        TZemLegendGroup& group = *m_groups[static_cast<size_t>(groupIndex)];
        const int newHover = groupIndex == hitGroup ? hitItem : -1;
        const int oldHover = group.m_hoverIndex;
        if (newHover == oldHover) {
            continue;
        }
        group.m_hoverIndex = newHover;
        InvalidateItem(groupIndex, oldHover);
        InvalidateItem(groupIndex, newHover);
        // The old item first, so an item that keeps one "highlighted from the legend" slot ends
        // up with the new one.
        if (TZemDisplayCollectionItem* old = group.GetItem(oldHover)) {
            old->SetHighlightedFromLegend(false);
        }
        if (TZemDisplayCollectionItem* hovered = group.GetItem(newHover)) {
            hovered->SetHighlightedFromLegend(true);
            m_cursorShown = true;
            m_display->ShowCursorShape(group.m_cursor);
        }
    }
    if (hitGroup < 0) {
        RestoreDisplayCursor();
    }
}

void TZemLegendView::MouseDown(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                               int y) {
    TZemOptionalView::MouseDown(button, shift, inside, x, y);
    if (!m_buttonsEnabled || !inside) {
        return;
    }
    // The press counts where it happens, even without a move before it.
    MouseMove(shift, x, y);
    for (int groupIndex = 0; groupIndex < GetGroupCount(); ++groupIndex) {
        TZemLegendGroup& group = *m_groups[static_cast<size_t>(groupIndex)];
        group.m_pressedIndex = group.m_hoverIndex;
        const int itemIndex = group.m_pressedIndex;
        if (itemIndex < 0) {
            continue;
        }
        InvalidateItem(groupIndex, itemIndex);
        ZemGuard("clicking a legend item", [&] {
            bool handled = false;
            if (group.m_onItemClick) {
                group.m_onItemClick(&group, itemIndex, handled);
            }
            if (!handled) {
                m_display->ShowProperties(groupIndex, itemIndex);
            }
        });
        group.m_pressedIndex = -1;
        InvalidateItem(groupIndex, itemIndex);
    }
}

void TZemLegendView::MouseUp(TZemMouseButton button, TZemShiftState shift, bool inside, int x,
                             int y) {
    TZemOptionalView::MouseUp(button, shift, inside, x, y);
    for (const auto& group : m_groups) {
        group->m_pressedIndex = -1;
    }
}

void TZemLegendView::DisplayMouseLeft() {
    TZemOptionalView::DisplayMouseLeft();
    for (const auto& group : m_groups) {
        group->m_hoverIndex = -1;
    }
    RestoreDisplayCursor();
    Invalidate();
}

// ---- TZemScopeLegendView ------------------------------------------------------------------------

TZemScopeLegendView::TZemScopeLegendView(TZemDataChart* chart) : TZemLegendView(chart) {
    AddGroup("Channels", [chart] { return chart->GetChannelCollection(); });
    AddGroup("Marker Groups",
             [chart]() -> TZemDisplayCollection* { return chart->GetMarkerGroups(); });
    AddGroup("Cursors", [chart]() -> TZemDisplayCollection* { return chart->GetCursors(); });
    AddGroup("Links", [chart]() -> TZemDisplayCollection* { return chart->GetCursorLinks(); });
}

const TVokClassInfo& TZemScopeLegendView::ClassInfo() {
    using T = TZemScopeLegendView;
    static const TVokClassInfo info(
        "TZemScopeLegendView", &TZemLegendView::ClassInfo(), nullptr,
        {
            TVokProp::Object("Channels", &T::GetChannels),
            TVokProp::Object("MarkerGroups", &T::GetMarkerGroups),
            TVokProp::Object("Cursors", &T::GetCursors),
            TVokProp::Object("CursorLinks", &T::GetCursorLinks),
            // Design-time expansion hooks: accepted, ignored, never written.
            TVokProp::Event("_Channels", &T::m_expandHook, &T::m_expandHook).NotStored(),
            TVokProp::Event("_MarkerGroups", &T::m_expandHook, &T::m_expandHook).NotStored(),
            TVokProp::Event("_Cursors", &T::m_expandHook, &T::m_expandHook).NotStored(),
            TVokProp::Event("_CursorLinks", &T::m_expandHook, &T::m_expandHook).NotStored(),
        });
    return info;
}
