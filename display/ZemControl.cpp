#include "display/ZemControl.h"

const TVokClassInfo& TZemControl::ClassInfo() {
    using T = TZemControl;
    static const TVokClassInfo info(
        "TZemControl", &TVokComponent::ClassInfo(), nullptr,
        {
            TVokProp::Integer("Left", &T::GetLeft, &T::SetLeft, 0),
            TVokProp::Integer("Top", &T::GetTop, &T::SetTop, 0),
            TVokProp::Integer("Width", &T::GetWidth, &T::SetWidth, 0),
            TVokProp::Integer("Height", &T::GetHeight, &T::SetHeight, 0),
            TVokProp::Enum(
                "Align",
                {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"},
                &T::GetAlign, &T::SetAlign, alNone),
            TVokProp::Set("Anchors", {"akLeft", "akTop", "akRight", "akBottom"}, &T::GetAnchors,
                          &T::SetAnchors, TZemAnchors{akLeft, akTop}),
            TVokProp::Integer("TabOrder", &T::GetTabOrder, &T::SetTabOrder, -1),
            TVokProp::Bool("TabStop", &T::GetTabStop, &T::SetTabStop, false),
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
            TVokProp::Cursor("Cursor", &T::GetCursor, &T::SetCursor, kVokCrDefault),
        });
    return info;
}

TZemControl::TZemControl(TVokComponent* owner) : TVokComponent(owner) {
}

TZemControl::~TZemControl() {
    // The widget may already be gone when a parent widget freed its children first.
    delete m_widget.data();
}

QWidget* TZemControl::GetWidget() {
    if (m_widget.isNull()) {
        m_widget = CreateWidget();
        if (auto* parent = dynamic_cast<TZemControl*>(m_parent)) {
            m_widget->setParent(parent->GetWidget());
        }
        ApplyGeometry();
        m_widget->setFocusPolicy(m_tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        m_widget->setCursor(ToQtCursor(m_cursor));
    }
    return m_widget.data();
}

QWidget* TZemControl::CreateWidget() {
    return new QWidget();
}

void TZemControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    const bool resized = width != m_width || height != m_height;
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    ApplyGeometry();
    if (resized) {
        BoundsChanged();
    }
}

void TZemControl::ApplyGeometry() {
    if (!m_widget.isNull()) {
        m_widget->setGeometry(m_left, m_top, m_width, m_height);
        if (m_widget->parentWidget() != nullptr) {
            m_widget->setVisible(m_visible);
        }
    }
}

void TZemControl::SetTabStop(bool value) {
    m_tabStop = value;
    if (!m_widget.isNull()) {
        m_widget->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void TZemControl::SetVisible(bool value) {
    m_visible = value;
    ApplyGeometry();
}

void TZemControl::SetCursor(TVokCursor value) {
    m_cursor = value;
    ShowCursorShape(value);
}

void TZemControl::ShowCursorShape(TVokCursor cursor) {
    if (!m_widget.isNull()) {
        m_widget->setCursor(ToQtCursor(cursor));
    }
}

void TZemControl::SetParentComponent(TVokComponent* parent) {
    m_parent = parent;
    if (!m_widget.isNull()) {
        auto* control = dynamic_cast<TZemControl*>(parent);
        m_widget->setParent(control != nullptr ? control->GetWidget() : nullptr);
        ApplyGeometry();
    }
}

Qt::CursorShape TZemControl::ToQtCursor(TVokCursor cursor) {
    switch (cursor) {
    case -1:
        return Qt::BlankCursor;
    case -3:
        return Qt::CrossCursor;
    case -4:
        return Qt::IBeamCursor;
    case -6:
        return Qt::SizeBDiagCursor;
    case -7:
        return Qt::SizeVerCursor;
    case -8:
        return Qt::SizeFDiagCursor;
    case -9:
        return Qt::SizeHorCursor;
    case -10:
        return Qt::UpArrowCursor;
    case -11:
    case -17:
        return Qt::WaitCursor;
    case -12:
    case -16:
        return Qt::DragMoveCursor;
    case -13:
    case -18:
        return Qt::ForbiddenCursor;
    case -14:
        return Qt::SplitHCursor;
    case -15:
        return Qt::SplitVCursor;
    case -19:
        return Qt::BusyCursor;
    case -20:
        return Qt::WhatsThisCursor;
    case -21:
        return Qt::PointingHandCursor;
    case -22:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}
