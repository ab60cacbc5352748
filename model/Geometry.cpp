#include "model/Geometry.h"

#include <cstdint>

namespace tessaly {

namespace {
// Trunc(a * b / c) with the product formed exactly.
int MulDivTrunc(int a, int b, int c) {
    return static_cast<int>(static_cast<std::int64_t>(a) * b / c);
}
} // namespace

Rect FitRect(int h, int w, Rect control, Size client) {
    const int ch = client.height;
    const int cw = client.width;
    if (ch < 2 || cw < 2)
        return control;
    if (h <= ch && w <= cw) {
        // The whole image fits: the size stays.
    } else if (h > ch && w <= cw) {
        control.height = ch;
        control.width = MulDivTrunc(w, control.height, h);
    } else if (h <= ch && w > cw) {
        control.width = cw;
        control.height = MulDivTrunc(h, control.width, w);
    } else {
        control.height = ch;
        control.width = MulDivTrunc(w, control.height, h);
        if (cw < control.width) {
            control.width = cw;
            control.height = MulDivTrunc(h, control.width, w);
        }
    }
    control.top = CenterOffset(ch, control.height);
    control.left = CenterOffset(cw, control.width);
    return control;
}

Rect CenterOver(Rect window, Rect over) {
    window.top = CenterOffset(over.height, window.height) + over.top;
    window.left = CenterOffset(over.width, window.width) + over.left;
    return window;
}

} // namespace tessaly
