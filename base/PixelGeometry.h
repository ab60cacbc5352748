// Sizes, points and rectangles in whole pixels from the top left corner: one vocabulary for
// the picture code (what is decoded, cut and turned) and the viewer's layout.
#pragma once

namespace tessaly {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

} // namespace tessaly
