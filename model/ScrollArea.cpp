#include "model/ScrollArea.h"

#include <algorithm>

namespace tessaly {

void ScrollArea::Resize(int fullWidth, int fullHeight) {
    fullWidth_ = fullWidth;
    fullHeight_ = fullHeight;
    Realign();
}

void ScrollArea::SetBarExtent(int extent) {
    barExtent_ = extent;
    Realign();
}

void ScrollArea::SetFilling(bool filling) {
    filling_ = filling;
    Realign();
}

int ScrollArea::HorzRange() const {
    return filling_ ? 0 : content_.left + hpos_ + content_.width;
}

int ScrollArea::VertRange() const {
    return filling_ ? 0 : content_.top + vpos_ + content_.height;
}

int ScrollArea::HorzMax() const {
    return std::max(0, HorzRange() - clientWidth_);
}

int ScrollArea::VertMax() const {
    return std::max(0, VertRange() - clientHeight_);
}

void ScrollArea::SetHorzPosition(int position) {
    position = std::clamp(position, 0, HorzMax());
    content_.left += hpos_ - position;
    hpos_ = position;
    Realign();
}

void ScrollArea::SetVertPosition(int position) {
    position = std::clamp(position, 0, VertMax());
    content_.top += vpos_ - position;
    vpos_ = position;
    Realign();
}

void ScrollArea::MoveContent(int left, int top) {
    content_.left = left;
    content_.top = top;
    Realign();
}

void ScrollArea::ResizeContent(int width, int height) {
    content_.width = width;
    content_.height = height;
    Realign();
}

void ScrollArea::Realign() {
    if (filling_) {
        // A filling content covers the client area: scroll positions go back to 0.
        hpos_ = vpos_ = 0;
        hbar_ = vbar_ = false;
        clientWidth_ = fullWidth_;
        clientHeight_ = fullHeight_;
        content_ = {0, 0, fullWidth_, fullHeight_};
        return;
    }
    const int rangeW = HorzRange();
    const int rangeH = VertRange();
    bool needH = rangeW > fullWidth_;
    bool needV = rangeH > fullHeight_;
    if (needH && !needV)
        needV = rangeH > fullHeight_ - barExtent_;
    if (needV && !needH)
        needH = rangeW > fullWidth_ - barExtent_;
    hbar_ = needH;
    vbar_ = needV;
    clientWidth_ = std::max(0, fullWidth_ - (needV ? barExtent_ : 0));
    clientHeight_ = std::max(0, fullHeight_ - (needH ? barExtent_ : 0));
    // A position beyond the new limit scrolls back, moving the content with it.
    const int maxH = HorzMax();
    const int maxV = VertMax();
    if (hpos_ > maxH) {
        content_.left += hpos_ - maxH;
        hpos_ = maxH;
    }
    if (vpos_ > maxV) {
        content_.top += vpos_ - maxV;
        vpos_ = maxV;
    }
}

} // namespace tessaly
