#include "ui/ulib.h"

#include "ui/Guard.h"
#include "ui/TwoColumnMenu.h"
#include "ui/WindowFrame.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QTimer>
#include <QWidget>
#include <QWindow>

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

QFont WindowFont(int pixelSize, bool fixedPitch) {
    QFont font(fixedPitch ? QStringLiteral("IPAGothic") : QStringLiteral("IPAPGothic"));
    font.setPixelSize(pixelSize);
    if (fixedPitch)
        font.setStyleHint(QFont::TypeWriter);
    return font;
}

namespace {
Rect BoundsOf(const QWidget& w) {
    return {w.x(), w.y(), w.width(), w.height()};
}
Size ClientOf(const QWidget& w) {
    return {w.width(), w.height()};
}
} // namespace

void FitCtrl(int naturalHeight, int naturalWidth, QWidget& control, const QWidget& parent) {
    const Rect r = FitRect(naturalHeight, naturalWidth, BoundsOf(control), ClientOf(parent));
    control.setGeometry(r.left, r.top, r.width, r.height);
}

bool HasWindowFrame(const QWidget& window) {
    return !FrameMargins(window).isNull();
}

namespace {

// Waits for the window manager's frame of one window, then runs an action once.
class FrameWaiter : public QObject {
public:
    FrameWaiter(QWidget& window, std::function<void()> action, std::chrono::milliseconds patience)
        : QObject(&window), window_(window), action_(std::move(action)) {
        poll_.setInterval(20);
        connect(&poll_, &QTimer::timeout, this, [this] {
            if (HasWindowFrame(window_))
                Finish();
        });
        poll_.start();
        QTimer::singleShot(patience, this, [this] { Finish(); });
    }

private:
    void Finish() {
        if (done_)
            return;
        done_ = true;
        poll_.stop();
        Guarded(action_, &window_);
        deleteLater();
    }

    QWidget& window_;
    std::function<void()> action_;
    QTimer poll_;
    bool done_ = false;
};

} // namespace

void WhenFramed(QWidget& window, std::function<void()> action, std::chrono::milliseconds patience) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen") || HasWindowFrame(window)) {
        action();
        return;
    }
    new FrameWaiter(window, std::move(action), patience); // a child of the window
}

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
        return client + QSize(kDesignFrameWidth, kDesignFrameHeight);
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

void CenterForm(QWidget& window, const QWidget& over) {
    const QSize ws = OuterSize(window);
    const QSize os = OuterSize(over);
    const QPoint op = OuterPos(over);
    const Rect r =
        CenterOver({0, 0, ws.width(), ws.height()}, {op.x(), op.y(), os.width(), os.height()});
    SetOuterPos(window, {r.left, r.top});
}

QAction* AddMenuItem(TwoColumnMenu& menu, QWidget& owner, const QString& caption,
                     std::function<void()> handler, bool checkable) {
    auto* item = new QAction(caption, &owner);
    item->setCheckable(checkable);
    QObject::connect(item, &QAction::triggered, &owner,
                     [item, &owner, handler = std::move(handler)] {
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

bool IsDefault(const QAction& item) {
    return item.font().bold();
}

void SetCheckDefault(QAction& item, bool value) {
    item.setChecked(value);
    SetDefault(item, value);
}

} // namespace tessaly
