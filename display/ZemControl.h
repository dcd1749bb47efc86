#pragma once

#include "pins/VokComponent.h"
#include "pins/VokGraphicsObjects.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>

/// How a control sits in its container: docked to an edge, filling the rest, or placed freely.
enum TZemAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TZemAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TZemAnchors = TVokSet<TZemAnchorKind>;

/// Base of every visual component: a component that owns one Qt widget (composition: the
/// component decides the widget's lifetime and parent, never Qt and the component both).
///
/// The published bounds are the truth; the widget follows them. `SetParentComponent` moves the
/// widget into the parent control's widget when the parent is a control. Everything here runs on
/// the GUI thread.
///
/// Published: `Left`, `Top`, `Width`, `Height`, `Align` (alNone), `Anchors` ([akLeft, akTop]),
/// `TabOrder` (−1), `TabStop`, `Visible` (true), `Cursor` (crDefault).
class TZemControl : public TVokComponent {
  public:
    explicit TZemControl(TVokComponent* owner);
    ~TZemControl() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// The control's widget, created on first use by `CreateWidget`; null only after Qt freed it.
    QWidget* GetWidget();
    /// True once the widget exists.
    bool HasWidget() const { return !m_widget.isNull(); }
    /// The widget if it exists, else null (never creates it).
    QWidget* GetExistingWidget() const { return m_widget.data(); }

    int GetLeft() const { return m_left; }
    int GetTop() const { return m_top; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    void SetLeft(int value) { SetBounds(value, m_top, m_width, m_height); }
    void SetTop(int value) { SetBounds(m_left, value, m_width, m_height); }
    void SetWidth(int value) { SetBounds(m_left, m_top, value, m_height); }
    void SetHeight(int value) { SetBounds(m_left, m_top, m_width, value); }
    /// Moves and resizes; negative sizes become 0. Calls `BoundsChanged` when the size changed.
    void SetBounds(int left, int top, int width, int height);

    TZemAlign GetAlign() const { return m_align; }
    void SetAlign(TZemAlign value) { m_align = value; }
    TZemAnchors GetAnchors() const { return m_anchors; }
    void SetAnchors(TZemAnchors value) { m_anchors = value; }
    int GetTabOrder() const { return m_tabOrder; }
    void SetTabOrder(int value) { m_tabOrder = value; }
    bool GetTabStop() const { return m_tabStop; }
    void SetTabStop(bool value);
    bool GetVisible() const { return m_visible; }
    void SetVisible(bool value);
    TVokCursor GetCursor() const { return m_cursor; }
    virtual void SetCursor(TVokCursor value);

    TVokComponent* GetParentComponent() const override { return m_parent; }
    void SetParentComponent(TVokComponent* parent) override;

    /// The Qt cursor shape of a cursor identifier value (crHandPoint → pointing hand, …).
    static Qt::CursorShape ToQtCursor(TVokCursor cursor);
    /// Shows `cursor` on the widget without changing the published `Cursor`.
    void ShowCursorShape(TVokCursor cursor);

  protected:
    /// Creates the widget (without parent); called once by `GetWidget`.
    virtual QWidget* CreateWidget();
    /// Called after the size changed.
    virtual void BoundsChanged() {}
    /// The tab-stop default of the class (displays take the focus, panels do not).
    void InitTabStop(bool value) { m_tabStop = value; }

  private:
    void ApplyGeometry();

    QPointer<QWidget> m_widget;
    TVokComponent* m_parent = nullptr;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    TZemAlign m_align = alNone;
    TZemAnchors m_anchors{akLeft, akTop};
    int m_tabOrder = -1;
    bool m_tabStop = false;
    bool m_visible = true;
    TVokCursor m_cursor = 0;
};
