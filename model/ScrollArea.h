// The main window's client area scrolling over its content (the view panel), as numbers.
//
// Scroll positions follow the model of a window that scrolls its children: the range of
// an axis is the extent of the content in unscrolled coordinates (its left plus the scroll
// position plus its width); a scroll bar is shown while the range exceeds the visible
// client size; a position lies between 0 and the range less the visible size; changing a
// position moves the content by the difference. The content is either filling (covering
// the whole client area, nothing to scroll) or free (keeping its own position and size).
#pragma once

#include "model/Geometry.h"

namespace tessaly {

class ScrollArea {
public:
    // The whole area, scroll bars included, and the thickness of a scroll bar.
    void Resize(int fullWidth, int fullHeight);
    void SetBarExtent(int extent);
    int FullWidth() const { return fullWidth_; }
    int FullHeight() const { return fullHeight_; }

    void SetFilling(bool filling);

    // The content's bounds in client coordinates (the view panel's geometry).
    const Rect& Content() const { return content_; }
    void MoveContent(int left, int top);
    void ResizeContent(int width, int height);

    // The visible client area, without the scroll bars that are shown.
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    int BarExtent() const { return barExtent_; }

    int HorzPosition() const { return hpos_; }
    int VertPosition() const { return vpos_; }
    // Sets a position, limited to 0 .. range - visible size; the content moves by the change.
    void SetHorzPosition(int position);
    void SetVertPosition(int position);
    int HorzRange() const;
    int VertRange() const;
    // The largest position of each axis.
    int HorzMax() const;
    int VertMax() const;
    bool HorzBarVisible() const { return hbar_; }
    bool VertBarVisible() const { return vbar_; }

private:
    // Recomputes the scroll bars and the visible client area from the content's bounds.
    void Realign();

    int fullWidth_ = 0;
    int fullHeight_ = 0;
    int barExtent_ = 0;
    bool filling_ = true;
    Rect content_;
    int hpos_ = 0;
    int vpos_ = 0;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool hbar_ = false;
    bool vbar_ = false;
};

} // namespace tessaly
