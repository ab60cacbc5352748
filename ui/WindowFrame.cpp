#include "ui/WindowFrame.h"

#include "ui/Guard.h"
#include "ui/X11.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <cmath>

namespace tessaly {

namespace {

// _NET_FRAME_EXTENTS of an X11 window: left, right, top, bottom; none when it is not set.
QMargins X11FrameExtents(xcb_connection_t* connection, xcb_window_t window) {
    const X11Reply<xcb_get_property_reply_t> property =
        ReadX11Property(connection, window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) != 16)
        return {};
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(property.get()));
    constexpr std::uint32_t kLargest = 1000; // no frame is wider; anything else is nonsense
    if (v[0] > kLargest || v[1] > kLargest || v[2] > kLargest || v[3] > kLargest)
        return {};
    return {static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
            static_cast<int>(v[3])};
}

} // namespace

QMargins FrameMargins(const QWidget& window) {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || !window.testAttribute(Qt::WA_WState_Created))
        return {};
    if (platform == QLatin1String("xcb")) {
        const std::optional<X11Display> x11 = ProgramX11Display();
        if (!x11)
            return {};
        // The window manager counts the screen's device pixels; the program counts logical
        // pixels, of which a display scale of 2 makes each two device pixels wide.
        const QMargins device =
            X11FrameExtents(x11->connection, static_cast<xcb_window_t>(window.winId()));
        const qreal ratio = window.devicePixelRatio();
        if (device.isNull() || !(ratio > 0) || ratio == 1)
            return device;
        const auto logical = [ratio](int v) { return static_cast<int>(std::lround(v / ratio)); };
        return {logical(device.left()), logical(device.top()), logical(device.right()),
                logical(device.bottom())};
    }
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    if (!frame.contains(client))
        return {};
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
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

void SetOwnerWindow(QWidget& window, const QWidget* owner) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        !window.testAttribute(Qt::WA_WState_Created) ||
        (owner != nullptr && !owner->testAttribute(Qt::WA_WState_Created)))
        return;
    const std::optional<X11Display> x11 = ProgramX11Display();
    if (!x11)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (owner != nullptr) {
        const auto ownerId = static_cast<xcb_window_t>(owner->winId());
        xcb_change_property(x11->connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &ownerId);
    } else {
        xcb_delete_property(x11->connection, id, XCB_ATOM_WM_TRANSIENT_FOR);
    }
    xcb_flush(x11->connection);
}

} // namespace tessaly
