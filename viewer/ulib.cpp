#include "viewer/ulib.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QWidget>

namespace tessaly {

void SetScreenCursor(std::optional<Qt::CursorShape> shape) {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (shape)
        QApplication::setOverrideCursor(QCursor(*shape));
}

void SetWaitCursor(bool on) {
    SetScreenCursor(on ? std::optional<Qt::CursorShape>(Qt::WaitCursor) : std::nullopt);
}

namespace {
Rect BoundsOf(const QWidget& w) { return {w.x(), w.y(), w.width(), w.height()}; }
Size ClientOf(const QWidget& w) { return {w.width(), w.height()}; }
} // namespace

void CenterCtrl(QWidget& control, const QWidget& parent) {
    control.move(CenterOffset(parent.width(), control.width()),
                 CenterOffset(parent.height(), control.height()));
}

void FitCtrl(int naturalHeight, int naturalWidth, QWidget& control, const QWidget& parent) {
    const Rect r = FitRect(naturalHeight, naturalWidth, BoundsOf(control), ClientOf(parent));
    control.setGeometry(r.left, r.top, r.width, r.height);
}

namespace {
// True when a window manager has given the window a frame of its own.
bool HasFrame(const QWidget& window) {
    return window.frameGeometry().size() != window.geometry().size();
}
} // namespace

QSize OuterSize(const QWidget& window) {
    if (HasFrame(window))
        return window.frameGeometry().size();
    return window.size() + QSize(kDesignFrameWidth, kDesignFrameHeight);
}

QPoint OuterPos(const QWidget& window) {
    if (HasFrame(window))
        return window.frameGeometry().topLeft();
    return window.pos();
}

void SetOuterPos(QWidget& window, QPoint topLeft) { window.move(topLeft); }

void CenterForm(QWidget& window, const QWidget& over) {
    const QSize ws = OuterSize(window);
    const QSize os = OuterSize(over);
    const QPoint op = OuterPos(over);
    const Rect r = CenterOver({0, 0, ws.width(), ws.height()}, {op.x(), op.y(), os.width(), os.height()});
    SetOuterPos(window, {r.left, r.top});
}

void SetDefault(QAction& item, bool isDefault) {
    QFont f = item.font();
    f.setBold(isDefault);
    item.setFont(f);
}

bool IsDefault(const QAction& item) { return item.font().bold(); }

void SetCheckDefault(QAction& item, bool value) {
    item.setChecked(value);
    SetDefault(item, value);
}

} // namespace tessaly
