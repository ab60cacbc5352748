#include "model/Pick.h"

#include "base/Format.h"
#include "base/Rounding.h"

namespace tessaly {

Point NextPickCorner(Point previous) {
    constexpr int kStep = 20;
    return {previous.x + kStep, previous.y + kStep};
}

void PickPlacement::FirstActivation(Point corner) {
    if (frameSettled_)
        start_ = corner;
    else
        waitingForFrame_ = true;
}

void PickPlacement::FrameSettled(Point corner) {
    frameSettled_ = true;
    if (waitingForFrame_) {
        waitingForFrame_ = false;
        start_ = corner;
    }
}

Point PickPlacement::NextCorner(std::optional<Point> previousPick, Point mainCorner) {
    if (waitingForFrame_) { // a pick before the window manager reported the frame
        waitingForFrame_ = false;
        start_ = mainCorner;
    }
    return NextPickCorner(previousPick ? *previousPick : start_ ? *start_ : mainCorner);
}

Size PickDisplaySize(Size pick, Size mainOuter) {
    const long double ratio = static_cast<long double>(pick.height) / pick.width;
    Size shown = pick;
    if (pick.height > mainOuter.height || pick.width > mainOuter.width) {
        shown.height = mainOuter.height / 2;
        shown.width = RoundInt(shown.height / ratio);
        if (shown.width > mainOuter.width / 2) {
            shown.width = mainOuter.width / 2;
            shown.height = RoundInt(shown.width * ratio);
        }
    }
    return shown;
}

std::string PickCaption(int number, Size pick) {
    return Format("取出[%d] サイズ(%d,%d)", {number, pick.width, pick.height});
}

std::string PickHint(Size shown, Size pick, PickHintForm form) {
    const long double percent = static_cast<long double>(shown.width) / pick.width * 100;
    const std::string shownSize =
        form == PickHintForm::Resized ? Format("(%d,%d)", {shown.width, shown.height}) : "";
    return Format("%.1f%%%s表示 実サイズ(%d,%d)", {percent, shownSize, pick.width, pick.height});
}

} // namespace tessaly
