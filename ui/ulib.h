// ulib: small routines shared by the main window, the readme window and the pick windows.
#pragma once

#include "model/Geometry.h"

// ulib's routines that live in the Qt-free libraries, so that command-line tools share them:
// MakeOutBitmap, SaveJPEGFile and FileSizeOf.
#include "exif/ExifOverlay.h"
#include "imaging/JpegImage.h"
#include "imaging/OutBitmap.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <qnamespace.h>

class QAction;
class QFont;

namespace tessaly {
class TwoColumnMenu;
}
class QWidget;

namespace tessaly {

// The application title: the task-bar text and the title of plain and error boxes.
inline const QString kApplicationTitle = QStringLiteral("Corvanel");

// On: the program-wide busy cursor; off: back to the default cursor. Calls do not nest:
// any off ends the busy state.
void SetWaitCursor(bool on);

// The busy cursor for the life of a scope, switched off however the scope ends.
class BusyCursor {
public:
    BusyCursor() { SetWaitCursor(true); }
    ~BusyCursor() { SetWaitCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The windows' font: IPA P Gothic at a pixel size, or the fixed-pitch IPA Gothic, in
// which a double-byte character is two columns wide.
QFont WindowFont(int pixelSize, bool fixedPitch = false);

// Sets the program-wide cursor to a shape, or back to the default with nullopt.
void SetScreenCursor(std::optional<Qt::CursorShape> shape);

// Shrinks the control to fit the parent's client area keeping the natural aspect (h x w),
// then centres it; nothing at all when the client area is under 2 pixels either way.
void FitCtrl(int naturalHeight, int naturalWidth, QWidget& control, const QWidget& parent);

// Outer size and position of a top-level window, frame and title bar included: the
// window manager's frame when there is one, otherwise the client area plus the design
// frame of 8 x 34 pixels (4 left and right, 30 above, 4 below).
QSize OuterSize(const QWidget& window);
QPoint OuterPos(const QWidget& window);
void SetOuterPos(QWidget& window, QPoint topLeft);
// Gives a framed window (HasWindowFrame) a new client size and its frame a new corner.
// Asked of the window system, not the widget: the widget takes the new geometry when the
// window system reports it. Set on the widget at once, a size the window manager undid
// before the program heard of it would stay in the widget, since Qt keeps only the last of
// several queued reports and that one would equal the size it knew before.
void SetFramedGeometry(QWidget& window, QPoint topLeft, QSize client);
inline constexpr int kDesignFrameWidth = 8;
inline constexpr int kDesignFrameHeight = 34;

// True when a window manager has given the window a frame of its own.
bool HasWindowFrame(const QWidget& window);

// Runs `action` once the window manager has framed the window (it reports the frame some
// time after the window is first shown), or at once where windows get no frame (the
// offscreen platform) or already have it. When no frame comes within `patience` (no
// window manager runs) the action runs then, with the design frame in force.
void WhenFramed(QWidget& window, std::function<void()> action,
                std::chrono::milliseconds patience = std::chrono::milliseconds(1500));

// Places `window` centred over `over` (outer sizes and screen positions).
void CenterForm(QWidget& window, const QWidget& over);

// Appends an item to a popup menu. Choosing it runs the handler through Guarded (an
// exception shows in the error box over `owner`); a checkable item's check mark changes only
// when the handler sets it, so Qt's own toggle is undone first.
QAction* AddMenuItem(TwoColumnMenu& menu, QWidget& owner, const QString& caption,
                     std::function<void()> handler, bool checkable = false);

// A menu item's default state: drawn in bold, nothing else.
void SetDefault(QAction& item, bool isDefault);
bool IsDefault(const QAction& item);
// The check mark and the default state set together.
void SetCheckDefault(QAction& item, bool value);

} // namespace tessaly
