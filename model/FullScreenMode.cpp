#include "model/FullScreenMode.h"

namespace tessaly {

std::optional<Rect> FullScreenMode::Enter(WindowPlace place, Rect screen) {
    if (saved_)
        return std::nullopt;
    saved_ = place;
    return screen;
}

std::optional<WindowPlace> FullScreenMode::Leave() {
    std::optional<WindowPlace> place = saved_;
    saved_.reset();
    return place;
}

EscapeAction EscapeMeaning(bool fullScreen, bool slideshowRunning) {
    if (fullScreen)
        return EscapeAction::LeaveFullScreen;
    return slideshowRunning ? EscapeAction::StopSlideshow : EscapeAction::Nothing;
}

} // namespace tessaly
