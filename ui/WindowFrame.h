// The window manager's frame around a top-level window, and the window it belongs to.
#pragma once

#include <QMargins>
#include <chrono>
#include <functional>

class QWidget;

namespace tessaly {

// The frame's margins around the client area: on X11 as the window manager announces them
// (_NET_FRAME_EXTENTS; Qt's own figure can lag behind the window manager just after a
// window is first shown) and turned into logical pixels, elsewhere as Qt reports them, in
// logical pixels (what a display scale makes of the screen's device pixels) either way.
// None for a window without a frame:
// one not shown yet, one without a window manager, or on the offscreen platform.
QMargins FrameMargins(const QWidget& window);

// True when a window manager has given the window a frame of its own.
bool HasWindowFrame(const QWidget& window);

// Runs `action` once the window manager has framed the window (it reports the frame some
// time after the window is first shown), or at once where windows get no frame (the
// offscreen platform) or already have it. When no frame comes within `patience` (no
// window manager runs) the action runs then, with the frame assumed for a window without one
// (8 x 34 pixels, see ui/WindowPlacement.h) in force.
void WhenFramed(QWidget& window, std::function<void()> action,
                std::chrono::milliseconds patience = std::chrono::milliseconds(1500));

// Tells the window manager that the top-level `window` belongs to `owner` (it keeps the window
// above its owner, in the owner's layer, and minimises it with the owner), or with no owner
// that it is a window of its own. On X11 this is the window's WM_TRANSIENT_FOR, which Qt
// writes only for dialogs and tool windows and clears whenever it shows a window: call it
// again after every show. Elsewhere it does nothing: the window stays as Qt set it up.
void SetOwnerWindow(QWidget& window, const QWidget* owner);

} // namespace tessaly
