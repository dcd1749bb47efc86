#include "display/ZemDisplayView.h"

#include "display/ZemDataDisplay.h"

const TVokClassInfo& TZemDisplayViewSize::ClassInfo() {
    using T = TZemDisplayViewSize;
    static const TVokClassInfo info(
        "TZemDisplayViewSize", nullptr, nullptr,
        {
            TVokProp::Bool("AutoSize", &T::GetAutoSize, &T::SetAutoSize, true),
            TVokProp::Integer("Size", &T::GetSize, &T::SetSize, 100),
        });
    return info;
}

void TZemDisplayViewSize::SetAutoSize(bool value) {
    if (value != m_autoSize) {
        m_autoSize = value;
        m_display->InvalidateLayout();
    }
}

void TZemDisplayViewSize::SetSize(uint32_t value) {
    if (value != m_size) {
        m_size = value;
        m_display->InvalidateLayout();
    }
}

const TVokClassInfo& TZemDisplayView::ClassInfo() {
    static const TVokClassInfo info("TZemDisplayView", nullptr, nullptr, {});
    return info;
}

void TZemDisplayView::Invalidate() {
    m_display->InvalidateRect(m_rect);
}

void TZemDisplayView::MouseMove(TZemShiftState /*shift*/, int x, int y) {
    const bool inside = GetHitRect().Contains(x, y);
    if (inside && !m_mouseInside) {
        m_mouseInside = true;
        ViewMouseEntered();
    } else if (!inside && m_mouseInside) {
        m_mouseInside = false;
        ViewMouseLeft();
    }
}

void TZemDisplayView::MouseDown(TZemMouseButton, TZemShiftState, bool, int, int) {
}
void TZemDisplayView::MouseUp(TZemMouseButton, TZemShiftState, bool, int, int) {
}
void TZemDisplayView::WheelDown(TZemShiftState, int, int) {
}
void TZemDisplayView::WheelUp(TZemShiftState, int, int) {
}

void TZemDisplayView::DisplayMouseLeft() {
    if (m_mouseInside) {
        m_mouseInside = false;
        ViewMouseLeft();
    }
}

TZemCustomSizeDisplayView::TZemCustomSizeDisplayView(TZemDataDisplay* display)
    : TZemDisplayView(display), m_viewSize(std::make_unique<TZemDisplayViewSize>(display)) {
}

const TVokClassInfo& TZemCustomSizeDisplayView::ClassInfo() {
    using T = TZemCustomSizeDisplayView;
    static const TVokClassInfo info("TZemCustomSizeDisplayView", &TZemDisplayView::ClassInfo(),
                                    nullptr, {TVokProp::Object("ViewSize", &T::GetViewSize)});
    return info;
}

void TZemCustomSizeDisplayView::GetPreferredSize(int& width, int& height) const {
    if (m_viewSize->GetAutoSize()) {
        ComputePreferredSize(width, height);
    } else {
        width = static_cast<int>(std::min<uint32_t>(m_viewSize->GetSize(), 1000000));
        height = width;
    }
}

const TVokClassInfo& TZemOptionalView::ClassInfo() {
    using T = TZemOptionalView;
    static const TVokClassInfo info(
        "TZemOptionalView", &TZemCustomSizeDisplayView::ClassInfo(), nullptr,
        {TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true)});
    return info;
}

void TZemOptionalView::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        m_display->InvalidateLayout();
    }
}
