// Full screen, apart from the window that shows it: where the window goes, what it returns to,
// and what Escape means.
//
// In full screen the window's client area is the whole screen it is on, so the area a picture
// is fit into (ViewerModel::FitArea, the client area) is the screen; everything else of the
// view works on it as on any client area.
#pragma once

#include "model/Geometry.h"

#include <optional>

namespace tessaly {

// Where the window was before full screen: its client area on the desktop (screen
// coordinates) and whether it was maximised.
struct WindowPlace {
    Rect client;
    bool maximised = false;
};

class FullScreenMode {
public:
    bool On() const { return saved_.has_value(); }
    // Into full screen from `place`, on a screen of bounds `screen`: the client area the window
    // takes (the whole screen). Nothing when it is already in full screen: the place kept is the
    // one from before the first entry, never full screen itself.
    std::optional<Rect> Enter(WindowPlace place, Rect screen);
    // Out of full screen: the place to return to. Nothing when it is not in full screen.
    std::optional<WindowPlace> Leave();

    // Whether the pick windows belong to the main window (a window manager keeps a window
    // that belongs to another above it, in its layer): only in full screen, where a window
    // manager stacks the active full-screen window over every other, always-on-top ones too.
    // Outside full screen they are windows of their own, each in the taskbar and left on the
    // screen when the main window is minimised.
    bool PicksBelongToMainWindow() const { return On(); }

private:
    std::optional<WindowPlace> saved_;
};

// What Escape does: it leaves full screen; outside full screen it stops a running slideshow;
// otherwise nothing.
enum class EscapeAction { Nothing, LeaveFullScreen, StopSlideshow };
EscapeAction EscapeMeaning(bool fullScreen, bool slideshowRunning);

// The screen is kept from blanking while a slideshow runs in full screen.
constexpr bool KeepScreenAwake(bool fullScreen, bool slideshowRunning) {
    return fullScreen && slideshowRunning;
}

} // namespace tessaly
