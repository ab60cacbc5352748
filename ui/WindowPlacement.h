// Where the windows go: outer sizes and positions of top-level windows (frame and title bar
// included), centring one window over another, and fitting a control into its parent.
#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace tessaly {

// The frame assumed around a window the window manager has not framed: 8 x 34 pixels
// (4 left and right, 30 above, 4 below).
inline constexpr int kAssumedFrameWidth = 8;
inline constexpr int kAssumedFrameHeight = 34;

// Outer size and position of a top-level window, frame and title bar included: the
// window manager's frame when there is one, otherwise the client area plus the assumed
// frame.
QSize OuterSize(const QWidget& window);
QPoint OuterPos(const QWidget& window);
void SetOuterPos(QWidget& window, QPoint topLeft);
// Gives a framed window (HasWindowFrame) a new client size and its frame a new corner.
// Asked of the window system, not the widget: the widget takes the new geometry when the
// window system reports it. Set on the widget at once, a size the window manager undid
// before the program heard of it would stay in the widget, since Qt keeps only the last of
// several queued reports and that one would equal the size it knew before.
void SetFramedGeometry(QWidget& window, QPoint topLeft, QSize client);

// Where the frame's corner of `window` goes for an outer size of `outer` centred on the
// available area of its screen (where it is now without a screen).
QPoint CentredOnScreen(const QWidget& window, QSize outer);

// Places `window` centred over `over` (outer sizes and screen positions).
void CenterForm(QWidget& window, const QWidget& over);

// Shrinks the control to fit the parent's client area keeping the natural aspect (h x w),
// then centres it; nothing at all when the client area is under 2 pixels either way.
void FitCtrl(int naturalHeight, int naturalWidth, QWidget& control, const QWidget& parent);

} // namespace tessaly
