#include "ui/WindowPlacement.h"

#include "model/Geometry.h"
#include "ui/WindowFrame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tessaly {

namespace {

// The client area of a shown top-level window as last asked of the window system or reported
// by it: ahead of the widget's own geometry while a change asked by SetFramedGeometry is on
// its way, equal to it otherwise.
QRect ClientGeometry(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return window.isWindow() && window.isVisible() && handle != nullptr ? handle->geometry()
                                                                        : window.geometry();
}

} // namespace

QSize OuterSize(const QWidget& window) {
    const QMargins frame = FrameMargins(window);
    const QSize client = ClientGeometry(window).size();
    if (frame.isNull())
        return client + QSize(kAssumedFrameWidth, kAssumedFrameHeight);
    return client.grownBy(frame);
}

QPoint OuterPos(const QWidget& window) {
    const QMargins frame = FrameMargins(window);
    return ClientGeometry(window).topLeft() - QPoint(frame.left(), frame.top());
}

void SetOuterPos(QWidget& window, QPoint topLeft) {
    const QMargins frame = FrameMargins(window);
    if (!frame.isNull()) {
        // Framed: the client area goes inside the frame the window manager announced.
        window.setGeometry(QRect(topLeft + QPoint(frame.left(), frame.top()), window.size()));
    } else if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        window.setGeometry(QRect(topLeft, window.size())); // no frame ever
    } else {
        // Not framed yet: a window manager that frames it later puts the frame there.
        window.move(topLeft);
    }
}

void SetFramedGeometry(QWidget& window, QPoint topLeft, QSize client) {
    const QMargins frame = FrameMargins(window);
    const QRect geometry(topLeft + QPoint(frame.left(), frame.top()), client);
    if (QWindow* handle = window.windowHandle())
        handle->setGeometry(geometry);
    else
        window.setGeometry(geometry);
}

QPoint CentredOnScreen(const QWidget& window, QSize outer) {
    const QScreen* screen = window.screen();
    if (screen == nullptr)
        return OuterPos(window);
    const QRect area = screen->availableGeometry();
    return {area.x() + CenterOffset(area.width(), outer.width()),
            area.y() + CenterOffset(area.height(), outer.height())};
}

void CenterForm(QWidget& window, const QWidget& over) {
    const QSize ws = OuterSize(window);
    const QSize os = OuterSize(over);
    const QPoint op = OuterPos(over);
    const Rect r =
        CenterOver({0, 0, ws.width(), ws.height()}, {op.x(), op.y(), os.width(), os.height()});
    SetOuterPos(window, {r.left, r.top});
}

void FitCtrl(int naturalHeight, int naturalWidth, QWidget& control, const QWidget& parent) {
    const Rect r = FitRect(naturalHeight, naturalWidth,
                           {control.x(), control.y(), control.width(), control.height()},
                           {parent.width(), parent.height()});
    control.setGeometry(r.left, r.top, r.width, r.height);
}

} // namespace tessaly
