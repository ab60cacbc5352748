// Layout arithmetic of the viewer, free of widgets so that it can be tested by itself.
#pragma once

#include "base/PixelGeometry.h"
#include "base/Rounding.h"

namespace tessaly {

// The offset that centres an extent inside another: (outer - inner) div 2, truncating
// toward zero, so a larger inner extent gets a negative offset.
constexpr int CenterOffset(int outer, int inner) {
    return (outer - inner) / 2;
}

// The control's new bounds when fitting a natural size into a client area: shrink only,
// keeping the aspect with sizes truncated, then centre. A client area under 2 pixels in
// either direction changes nothing (not even the position).
Rect FitRect(int naturalHeight, int naturalWidth, Rect control, Size client);

// `window` centred over `over`: top := (over's height - height) div 2 + over's top, left
// likewise. Both are outer rectangles in screen coordinates.
Rect CenterOver(Rect window, Rect over);

} // namespace tessaly
