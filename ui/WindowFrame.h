// The window manager's frame around a top-level window.
#pragma once

#include <QMargins>

class QWidget;

namespace tessaly {

// The frame's margins around the client area: on X11 as the window manager announces them
// (_NET_FRAME_EXTENTS; Qt's own figure can lag behind the window manager just after a
// window is first shown) and turned into logical pixels, elsewhere as Qt reports them, in
// logical pixels (what a display scale makes of the screen's device pixels) either way.
// None for a window without a frame:
// one not shown yet, one without a window manager, or on the offscreen platform.
QMargins FrameMargins(const QWidget& window);

} // namespace tessaly
