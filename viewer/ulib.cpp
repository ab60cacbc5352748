#include "viewer/ulib.h"

#include "viewer/Guard.h"
#include "viewer/TwoColumnMenu.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QGuiApplication>
#include <QSignalBlocker>
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
// True when a window manager has given the window a frame of its own. The offscreen
// platform draws no frame but reports a token margin: it counts as frameless.
bool HasFrame(const QWidget& window) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return false;
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
    return window.geometry().topLeft();
}

void SetOuterPos(QWidget& window, QPoint topLeft) {
    if (HasFrame(window))
        window.move(topLeft); // move() places the frame of a framed window
    else
        window.setGeometry(QRect(topLeft, window.size()));
}

void CenterForm(QWidget& window, const QWidget& over) {
    const QSize ws = OuterSize(window);
    const QSize os = OuterSize(over);
    const QPoint op = OuterPos(over);
    const Rect r = CenterOver({0, 0, ws.width(), ws.height()}, {op.x(), op.y(), os.width(), os.height()});
    SetOuterPos(window, {r.left, r.top});
}

QAction* AddMenuItem(TwoColumnMenu& menu, QWidget& owner, const QString& caption,
                     std::function<void()> handler, bool checkable) {
    auto* item = new QAction(caption, &owner);
    item->setCheckable(checkable);
    QObject::connect(item, &QAction::triggered, &owner, [item, &owner, handler = std::move(handler)] {
        if (item->isCheckable()) {
            const QSignalBlocker block(item);
            item->setChecked(!item->isChecked());
        }
        Guarded(handler, &owner);
    });
    menu.addAction(item);
    return item;
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
