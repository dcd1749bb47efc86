#include "display/ZemDataDisplay.h"

#include "display/ZemCanvas.h"
#include "display/ZemToolBar.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>

#include <cctype>
#include <cstdio>
#include <exception>
#include <mutex>

// --- Error reporting at Qt event boundaries -------------------------------------------------

namespace {

TZemErrorReporter& Reporter() {
    static TZemErrorReporter s_reporter;
    return s_reporter;
}

TZemShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TZemShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) {
        shift |= ssShift;
    }
    if (modifiers & Qt::AltModifier) {
        shift |= ssAlt;
    }
    if (modifiers & Qt::ControlModifier) {
        shift |= ssCtrl;
    }
    if (buttons & Qt::LeftButton) {
        shift |= ssLeft;
    }
    if (buttons & Qt::RightButton) {
        shift |= ssRight;
    }
    if (buttons & Qt::MiddleButton) {
        shift |= ssMiddle;
    }
    return shift;
}

bool ButtonOf(Qt::MouseButton qtButton, TZemMouseButton& button) {
    switch (qtButton) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}

/// The widget of a display: paints the display's off-screen image and hands pointer, wheel and
/// key input to the display. Owned by the display (through `TZemControl`).
class TZemDisplayWidget final : public QWidget {
  public:
    explicit TZemDisplayWidget(TZemDataDisplay* display) : m_display(display) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
    }
    /// Called by the display's destructor: no event reaches it afterwards.
    void Detach() { m_display = nullptr; }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (m_display == nullptr) {
            return;
        }
        QPainter painter(this);
        ZemGuard("painting a display", [&] { m_display->Paint(painter, event->region()); });
    }
    void resizeEvent(QResizeEvent*) override {
        if (m_display != nullptr &&
            (width() != m_display->GetWidth() || height() != m_display->GetHeight())) {
            ZemGuard("resizing a display", [&] {
                m_display->SetBounds(m_display->GetLeft(), m_display->GetTop(), width(), height());
            });
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_display != nullptr) {
            const QPoint point = event->position().toPoint();
            ZemGuard("moving the pointer", [&] {
                m_display->HandleMouseMove(ShiftOf(event->modifiers(), event->buttons()), point.x(),
                                           point.y());
            });
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        TZemMouseButton button;
        if (m_display != nullptr && ButtonOf(event->button(), button)) {
            const QPoint point = event->position().toPoint();
            ZemGuard("pressing a mouse button", [&] {
                m_display->HandleMouseDown(button, ShiftOf(event->modifiers(), event->buttons()),
                                           point.x(), point.y());
            });
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        TZemMouseButton button;
        if (m_display != nullptr && ButtonOf(event->button(), button)) {
            const QPoint point = event->position().toPoint();
            ZemGuard("releasing a mouse button", [&] {
                m_display->HandleMouseUp(button, ShiftOf(event->modifiers(), event->buttons()),
                                         point.x(), point.y());
            });
        }
    }
    void wheelEvent(QWheelEvent* event) override {
        if (m_display == nullptr) {
            return;
        }
        // Touchpads deliver fractions of a notch: one step per 120 units in either direction.
        m_wheelSum += event->angleDelta().y();
        const QPoint point = event->position().toPoint();
        const TZemShiftState shift = ShiftOf(event->modifiers(), event->buttons());
        while (m_wheelSum >= 120 || m_wheelSum <= -120) {
            const bool up = m_wheelSum > 0;
            m_wheelSum += up ? -120 : 120;
            ZemGuard("turning the wheel",
                     [&] { m_display->HandleWheel(up, shift, point.x(), point.y()); });
        }
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (m_display != nullptr && !event->text().isEmpty()) {
            ZemGuard("pressing a key", [&] { m_display->HandleKey(event->text().toStdString()); });
        }
    }
    void leaveEvent(QEvent*) override {
        if (m_display != nullptr) {
            ZemGuard("leaving a display", [&] { m_display->MouseLeft(); });
        }
    }
    void focusInEvent(QFocusEvent*) override { update(); }
    void focusOutEvent(QFocusEvent*) override { update(); }

  private:
    TZemDataDisplay* m_display;
    int m_wheelSum = 0;
};

} // namespace

void ZemSetErrorReporter(TZemErrorReporter reporter) {
    Reporter() = std::move(reporter);
}

void ZemReportError(const std::string& message) {
    if (Reporter()) {
        try {
            Reporter()(message);
            return;
        } catch (...) {
            // A failing reporter must not take the event loop down; fall back to stderr.
        }
    }
    std::fprintf(stderr, "%s\n", message.c_str());
}

void ZemGuard(const char* where, const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        ZemReportError(std::string("Error while ") + where + ": " + error.what());
    } catch (...) {
        ZemReportError(std::string("Error while ") + where + ": unknown error");
    }
}

std::string ZemExpandValueFormat(const std::string& format, const std::string& defaultText,
                                 const std::function<std::string(char code)>& valueText) {
    std::string result;
    for (size_t index = 0; index < format.size(); ++index) {
        const char c = format[index];
        if (c != '%') {
            result += c;
            continue;
        }
        if (index + 1 >= format.size()) {
            break; // a "%" at the very end ends the text
        }
        const char code =
            static_cast<char>(std::toupper(static_cast<unsigned char>(format[++index])));
        if (code == '%') {
            result += '%';
        } else if (code == 'D') {
            // The inner expansion has no default: a "%D" inside the default is dropped.
            result += ZemExpandValueFormat(defaultText, std::string(), valueText);
        } else {
            result += valueText(code);
        }
    }
    return result;
}

// --- Zoom settings and histories --------------------------------------------------------------

const TVokClassInfo& TZemDisplayZoom::ClassInfo() {
    using T = TZemDisplayZoom;
    static const TVokClassInfo info(
        "TZemDisplayZoom", nullptr, nullptr,
        {
            TVokProp::Bool("MouseZoom", &T::m_mouseZoom, &T::m_mouseZoom, true),
            TVokProp::Bool("KeyboardZoom", &T::m_keyboardZoom, &T::m_keyboardZoom, true),
            TVokProp::Color("SelectionColor", &T::m_selectionColor, &T::m_selectionColor, 0xFFFFFF),
            TVokProp::Bool("MouseWheelEnabled", &T::m_mouseWheelEnabled, &T::m_mouseWheelEnabled,
                           true),
            TVokProp::Bool("HoldOnZoom", &T::m_holdOnZoom, &T::m_holdOnZoom, true),
        });
    return info;
}

void TZemDisplayZoomList::Push(const TZemDisplayZoomListItem& item) {
    if (!m_items.empty() && m_items.back() == item) {
        return;
    }
    if (m_items.size() >= kCapacity) {
        m_items.pop_front();
    }
    m_items.push_back(item);
}

bool TZemDisplayZoomList::Pop(TZemDisplayZoomListItem& item) {
    if (m_items.empty()) {
        return false;
    }
    item = m_items.back();
    m_items.pop_back();
    return true;
}

// --- The display ----------------------------------------------------------------------------

const TVokClassInfo& TZemDataDisplay::ClassInfo() {
    using T = TZemDataDisplay;
    static const TVokClassInfo info(
        "TZemDataDisplay", &TZemControl::ClassInfo(), nullptr,
        {
            TVokProp::Integer("Width", &T::GetWidth, &T::SetWidth, 450),
            TVokProp::Integer("Height", &T::GetHeight, &T::SetHeight, 280),
            TVokProp::Bool("TabStop", &T::GetTabStop, &T::SetTabStop, true),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0),
            TVokProp::Object("ToolBar", &T::GetToolBar),
            TVokProp::Object("Zooming", &T::GetZooming),
            TVokProp::Event("OnZoomChanged", &T::GetOnZoomChanged, &T::SetOnZoomChanged),
        });
    return info;
}

TZemDataDisplay::TZemDataDisplay(TVokComponent* owner)
    : TZemControl(owner), m_zooming(std::make_unique<TZemDisplayZoom>(this)) {
    InitTabStop(true);
    SetBounds(0, 0, 450, 280);
}

TZemDataDisplay::~TZemDataDisplay() {
    m_imageCanvas.reset();
    m_paintTarget.store(nullptr, std::memory_order_release);
    if (QWidget* widget = GetExistingWidget()) {
        static_cast<TZemDisplayWidget*>(widget)->Detach();
    }
}

QWidget* TZemDataDisplay::CreateWidget() {
    auto* widget = new TZemDisplayWidget(this);
    m_leaveTimer = new QTimer(widget);
    m_leaveTimer->setInterval(100);
    QObject::connect(m_leaveTimer, &QTimer::timeout,
                     [this] { ZemGuard("checking the pointer", [this] { LeaveCheck(); }); });
    m_paintTarget.store(widget, std::memory_order_release);
    return widget;
}

void TZemDataDisplay::Loaded() {
    TZemControl::Loaded();
    SetLayoutNeeded();
}

void TZemDataDisplay::SetColor(TVokColor value) {
    if (value != m_color) {
        m_color = value;
        RedrawDisplay();
    }
}

void TZemDataDisplay::SetToolBar(std::unique_ptr<TZemDisplayToolBar> toolBar) {
    m_toolBar = std::move(toolBar);
}

void TZemDataDisplay::RedrawDisplay() {
    if (QWidget* widget = GetExistingWidget()) {
        widget->update();
    }
}

void TZemDataDisplay::InvalidateLayout() {
    SetLayoutNeeded();
    RedrawDisplay();
}

void TZemDataDisplay::InvalidateRect(const TZemRect& rect) {
    QWidget* widget = GetExistingWidget();
    if (widget != nullptr && !rect.IsEmpty()) {
        widget->update(rect.m_left, rect.m_top, rect.Width(), rect.Height());
    }
}

void TZemDataDisplay::InvalidateFromAnyThread() {
    // Only the pointer to the widget is read here; the widget outlives every producer because a
    // display disconnects its input pins before it is freed.
    if (QWidget* widget = m_paintTarget.load(std::memory_order_acquire)) {
        QMetaObject::invokeMethod(
            widget, [widget] { widget->update(); }, Qt::QueuedConnection);
    }
}

void TZemDataDisplay::Layout() {
    m_layoutNeeded.store(false, std::memory_order_release);
    const int width = GetDrawWidth();
    const int height = GetDrawHeight();
    TZemRect remaining{0, 0, width, height};
    int leftMargin = 0;
    int rightMargin = 0;
    int topMargin = 0;
    int bottomMargin = 0;
    for (const auto& view : m_views) {
        view->SetRect(remaining);
        if (!view->TakesPart()) {
            continue;
        }
        int preferredWidth = -1;
        int preferredHeight = -1;
        TZemRect rect = remaining;
        switch (view->GetAlignment()) {
        case zvaTop:
            view->GetPreferredSize(preferredWidth, preferredHeight);
            rect.m_bottom = remaining.m_top + preferredHeight;
            remaining.m_top += preferredHeight;
            leftMargin = std::max(leftMargin, view->GetLeadingMargin());
            rightMargin = std::max(rightMargin, view->GetTrailingMargin());
            break;
        case zvaBottom:
            view->GetPreferredSize(preferredWidth, preferredHeight);
            rect.m_top = remaining.m_bottom - preferredHeight;
            remaining.m_bottom -= preferredHeight;
            leftMargin = std::max(leftMargin, view->GetLeadingMargin());
            rightMargin = std::max(rightMargin, view->GetTrailingMargin());
            break;
        case zvaLeft:
            view->GetPreferredSize(preferredWidth, preferredHeight);
            rect.m_right = remaining.m_left + preferredWidth;
            remaining.m_left += preferredWidth;
            topMargin = std::max(topMargin, view->GetLeadingMargin());
            bottomMargin = std::max(bottomMargin, view->GetTrailingMargin());
            break;
        case zvaRight:
            view->GetPreferredSize(preferredWidth, preferredHeight);
            rect.m_left = remaining.m_right - preferredWidth;
            remaining.m_right -= preferredWidth;
            topMargin = std::max(topMargin, view->GetLeadingMargin());
            bottomMargin = std::max(bottomMargin, view->GetTrailingMargin());
            break;
        case zvaClient:
            rect = view->GetHitRect();
            rect.m_left = std::max(rect.m_left, leftMargin);
            rect.m_top = std::max(rect.m_top, topMargin);
            rect.m_bottom = std::min(rect.m_bottom, height - bottomMargin);
            rect.m_right = std::min(rect.m_right, width - rightMargin);
            break;
        }
        view->SetRect(rect);
    }
}

void TZemDataDisplay::RenderToImage(const QRegion& region) {
    const int width = std::max(1, GetWidth());
    const int height = std::max(1, GetHeight());
    if (m_image.width() != width || m_image.height() != height ||
        m_image.format() != QImage::Format_RGB32 || m_imageCanvas == nullptr) {
        m_imageCanvas.reset();
        m_image = QImage(width, height, QImage::Format_RGB32);
        m_imageCanvas = std::make_unique<TZemCanvas>(m_image);
        SetLayoutNeeded();
    }
    Render(*m_imageCanvas, region, false);
    ++m_renderCount;
}

void TZemDataDisplay::DrawTo(TZemCanvas& canvas) {
    Render(canvas, QRegion(), true);
}

void TZemDataDisplay::CopyToClipboard() {
    QGuiApplication::clipboard()->setImage(RenderPicture());
}

QImage TZemDataDisplay::RenderPicture() {
    QImage picture(std::max(1, GetWidth()), std::max(1, GetHeight()), QImage::Format_RGB32);
    // The layout may have been made for another size (printing) or never: lay out afresh.
    SetLayoutNeeded();
    {
        TZemCanvas canvas(picture);
        DrawTo(canvas);
    }
    SetLayoutNeeded();
    return picture;
}

void TZemDataDisplay::Paint(QPainter& painter, const QRegion& region) {
    if (IsLoading() || !GetVisible()) {
        return;
    }
    if (!m_printing) {
        RenderToImage(region);
    }
    painter.drawImage(0, 0, m_image);
}

bool TZemDataDisplay::HasFocus() const {
    const QWidget* widget = GetExistingWidget();
    return widget != nullptr && widget->hasFocus();
}

void TZemDataDisplay::SetPrintSize(bool printing, int width, int height) {
    m_printing = printing;
    m_printWidth = width;
    m_printHeight = height;
    SetLayoutNeeded();
}

void TZemDataDisplay::DrawToolBar(TZemCanvas& canvas, const QRegion& region) {
    if (m_toolBar == nullptr || !m_toolBar->GetVisible()) {
        return;
    }
    if (m_toolBar->GetAutoHide() && !m_mouseInside && !IsDesigning()) {
        return;
    }
    if (region.isEmpty()) {
        canvas.ClearClip();
    } else {
        canvas.SetClipRegion(region);
    }
    m_toolBar->Draw(canvas);
}

// --- Hold -------------------------------------------------------------------------------------

void TZemDataDisplay::SetHold(bool value) {
    if (value != m_hold) {
        m_hold = value;
        CheckNewData();
        RedrawDisplay();
    }
}

// --- Zoom -------------------------------------------------------------------------------------

TZemDisplayZoomListItem TZemDataDisplay::CurrentZoomState() {
    return TZemDisplayZoomListItem{GetVisibleXMin(), GetVisibleXMax(), GetVisibleYMin(),
                                   GetVisibleYMax(), m_zoomed};
}

void TZemDataDisplay::SaveZoomState(bool once) {
    if (once && m_zoomStateSaved) {
        return;
    }
    m_zoomStateSaved = once;
    m_undo.Push(CurrentZoomState());
    m_redo.Clear();
}

void TZemDataDisplay::RaiseZoomChanged(TZemZoomOperation operation) {
    InvalidateLayout();
    if (m_onZoomChanged) {
        const TZemRealRanges ranges{{GetVisibleXMin(), GetVisibleYMin()},
                                    {GetVisibleXMax(), GetVisibleYMax()}};
        m_onZoomChanged(this, operation, ranges);
    }
}

void TZemDataDisplay::ZoomByFactors(bool saveHistory, double factorY, double factorX) {
    if (saveHistory) {
        SaveZoomState(false);
    }
    ZoomAxes(factorY, factorX);
    m_zoomed = true;
    RedrawDisplay();
    RaiseZoomChanged(zoZoom);
}

void TZemDataDisplay::ZoomToRange(bool saveHistory, const TZemRealRange& yRange,
                                  const TZemRealRange& xRange) {
    if (saveHistory) {
        SaveZoomState(false);
    }
    if (m_zooming->m_holdOnZoom) {
        SetHold(true);
    }
    SetVisibleRange(zoZoom, yRange, xRange);
    RaiseZoomChanged(zoZoom);
}

void TZemDataDisplay::ZoomAtPoint(int x, int y, double factorY, double factorX) {
    if (!m_zooming->m_mouseWheelEnabled) {
        return;
    }
    const TZemDisplayView* dataView = GetDataView();
    if (dataView == nullptr) {
        return;
    }
    SaveZoomState(true);
    const TZemRect& rect = dataView->GetRect();
    // Along X (horizontal unless the display is vertical) pixels grow with the value; along Y
    // they grow downwards, so the shift h enters with the opposite sign.
    auto zoomAlong = [](double a, double b, double factor, double start, double end, double pointer,
                        bool downwards) {
        const double range = b - a;
        const double grow = (range * factor - range) / 2.0;
        const double half = (end - start) / 2.0;
        double shift = half != 0.0 ? range * (pointer - start - half) / half : 0.0;
        shift = shift / 2.0 - factor * shift / 2.0;
        if (downwards) {
            shift = -shift;
        }
        return TZemRealRange{a - grow + shift, b + grow + shift};
    };
    const bool vertical = IsVertical();
    const TZemRealRange xRange = vertical ? zoomAlong(GetVisibleXMin(), GetVisibleXMax(), factorX,
                                                      rect.m_top, rect.m_bottom, y, true)
                                          : zoomAlong(GetVisibleXMin(), GetVisibleXMax(), factorX,
                                                      rect.m_left, rect.m_right, x, false);
    const TZemRealRange yRange = vertical ? zoomAlong(GetVisibleYMin(), GetVisibleYMax(), factorY,
                                                      rect.m_left, rect.m_right, x, false)
                                          : zoomAlong(GetVisibleYMin(), GetVisibleYMax(), factorY,
                                                      rect.m_top, rect.m_bottom, y, true);
    SetVisibleRange(zoMouseWheel, yRange, xRange);
    m_zoomed = true;
    RedrawDisplay();
    RaiseZoomChanged(zoMouseWheel);
}

void TZemDataDisplay::Unzoom() {
    SaveZoomState(false);
    ResetVisibleRange();
    RaiseZoomChanged(zoZoomOff);
}

void TZemDataDisplay::ZoomUndo() {
    m_zoomStateSaved = false;
    m_redo.Push(CurrentZoomState());
    TZemDisplayZoomListItem state;
    if (!m_undo.Pop(state)) {
        return;
    }
    if (state.m_zoomed) {
        SetVisibleRange(zoUndo, {state.m_yMin, state.m_yMax}, {state.m_xMin, state.m_xMax});
    } else {
        ResetVisibleRange();
    }
    RaiseZoomChanged(zoUndo);
}

void TZemDataDisplay::ZoomRedo() {
    m_undo.Push(CurrentZoomState());
    TZemDisplayZoomListItem state;
    if (!m_redo.Pop(state)) {
        return;
    }
    if (state.m_zoomed) {
        SetVisibleRange(zoRedo, {state.m_yMin, state.m_yMax}, {state.m_xMin, state.m_xMax});
    } else {
        ResetVisibleRange();
    }
    RaiseZoomChanged(zoRedo);
}

void TZemDataDisplay::ClearZoomHistory() {
    m_undo.Clear();
    m_redo.Clear();
    m_zoomStateSaved = false;
}

// --- Pointer and keys ------------------------------------------------------------------------

void TZemDataDisplay::SetCursor(TVokCursor value) {
    TZemControl::SetCursor(value);
    m_cursorOverToolBar = false;
}

void TZemDataDisplay::MouseEntered() {
    m_mouseInside = true;
    if (!IsDesigning()) {
        for (const auto& view : m_views) {
            view->DisplayMouseEntered();
        }
    }
    if (m_toolBar != nullptr && m_toolBar->GetVisible() && m_toolBar->GetAutoHide()) {
        RedrawDisplay();
    }
}

void TZemDataDisplay::MouseLeft() {
    if (m_leaveTimer != nullptr) {
        m_leaveTimer->stop();
    }
    const bool wasInside = m_mouseInside;
    m_mouseInside = false;
    m_mouseX = -1000;
    m_mouseY = -1000;
    if (!IsDesigning()) {
        for (const auto& view : m_views) {
            view->DisplayMouseLeft();
        }
    }
    if (m_toolBar != nullptr && m_toolBar->GetVisible() &&
        ((m_toolBar->GetAutoHide() && wasInside) || m_toolBar->WasButtonDrawnUnderMouse())) {
        RedrawDisplay();
    }
    if (m_cursorOverToolBar) {
        m_cursorOverToolBar = false;
        ShowCursorShape(GetCursor());
    }
}

void TZemDataDisplay::LeaveCheck() {
    if (!HasWidget()) {
        return;
    }
    QWidget* widget = GetWidget();
    if (!widget->rect().contains(widget->mapFromGlobal(QCursor::pos()))) {
        m_leaveTimer->stop();
        if (m_mouseInside) {
            MouseLeft();
        }
    }
}

void TZemDataDisplay::HandleMouseMove(TZemShiftState shift, int x, int y) {
    if (IsDesigning()) {
        return;
    }
    m_mouseX = x;
    m_mouseY = y;
    if (!m_mouseInside) {
        if (m_leaveTimer != nullptr) {
            m_leaveTimer->start();
        }
        MouseEntered();
    }
    for (const auto& view : m_views) {
        if (view->IsShown()) {
            view->MouseMove(shift, x, y);
        }
    }
    if (m_toolBar != nullptr && m_toolBar->GetVisible()) {
        const TZemRect track = m_toolBar->GetTrackRect();
        if (m_toolBar->IsOverToolBar(x, y)) {
            if (!m_cursorOverToolBar) {
                m_cursorOverToolBar = true;
                ShowCursorShape(m_toolBar->GetCursor());
            }
            InvalidateRect(track);
        } else if (m_cursorOverToolBar) {
            m_cursorOverToolBar = false;
            if (m_toolBar->WasButtonDrawnUnderMouse()) {
                InvalidateRect(track);
            }
            ShowCursorShape(GetCursor());
        }
    }
}

void TZemDataDisplay::HandleMouseDown(TZemMouseButton button, TZemShiftState shift, int x, int y) {
    if (IsDesigning()) {
        return;
    }
    if (HasWidget()) {
        GetWidget()->setFocus(Qt::MouseFocusReason);
    }
    if (button == mbLeft && m_toolBar != nullptr && m_toolBar->GetVisible() &&
        m_toolBar->MouseDown(button, x, y)) {
        return;
    }
    for (const auto& view : m_views) {
        if (view->IsShown()) {
            view->MouseDown(button, shift, view->GetHitRect().Contains(x, y), x, y);
        }
    }
}

void TZemDataDisplay::HandleMouseUp(TZemMouseButton button, TZemShiftState shift, int x, int y) {
    if (IsDesigning()) {
        return;
    }
    for (const auto& view : m_views) {
        view->MouseUp(button, shift, view->GetHitRect().Contains(x, y), x, y);
    }
    if (button == mbLeft && m_toolBar != nullptr) {
        m_toolBar->MouseUp();
    }
}

void TZemDataDisplay::HandleWheel(bool up, TZemShiftState shift, int x, int y) {
    for (const auto& view : m_views) {
        if (view->GetHitRect().Contains(x, y)) {
            if (up) {
                view->WheelUp(shift, x, y);
            } else {
                view->WheelDown(shift, x, y);
            }
        }
    }
    const TZemDisplayView* dataView = GetDataView();
    if (dataView != nullptr && dataView->GetHitRect().Contains(x, y)) {
        const double factor = up ? 0.9 : 1.1;
        ZoomAtPoint(x, y, factor, factor);
    }
}

void TZemDataDisplay::HandleKey(const std::string& text) {
    if (!m_zooming->m_keyboardZoom) {
        return;
    }
    if (text == "+") {
        Zoom(0.5);
    } else if (text == "-") {
        Zoom(2.0);
    }
}
