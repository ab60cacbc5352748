// The overview's grid arithmetic, without Qt: how many columns a width holds, which cells a
// scroll position shows, the cell under a point, the scroll position that keeps a cell in
// view, the moves of the current cell by the keys, and a thumbnail's size in its cell.
//
// Cells are numbered from 0 in list order, left to right and top to bottom. Coordinates are
// logical pixels; y runs over the whole grid (the content), of which the viewport shows
// [scrollY, scrollY + viewportHeight). Positions along the content are 64-bit: a list of
// 100,000 entries is millions of pixels high.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tessaly {

// The moves of the current cell.
enum class GridMove : std::uint8_t { Left, Right, Up, Down, Home, End, PageUp, PageDown };

struct GridCell {
    std::int64_t left = 0, top = 0; // in the content
    int width = 0, height = 0;
};

class GridGeometry {
public:
    // `cellWidth` x `cellHeight`: one cell with its margins (the picture box and the name
    // below); the viewport's size; `count` cells.
    GridGeometry(int cellWidth, int cellHeight, int viewportWidth, int viewportHeight,
                 std::size_t count);

    std::size_t Count() const { return count_; }
    // At least one, however narrow the viewport.
    int Columns() const { return columns_; }
    std::size_t Rows() const;
    std::int64_t ContentHeight() const;
    // The largest scroll position (0 when everything fits).
    std::int64_t MaxScroll() const;
    std::int64_t Clamp(std::int64_t scrollY) const;

    // The cell's box: the columns are centred in the viewport's width.
    GridCell Cell(std::size_t index) const;

    // The cells the viewport shows at `scrollY`, whole or in part: [first, first + count).
    struct Range {
        std::size_t first = 0, count = 0;
    };
    Range Visible(std::int64_t scrollY) const;

    // The cell under viewport point (x, y) at `scrollY`; none between or after the cells.
    std::optional<std::size_t> CellAt(int x, int y, std::int64_t scrollY) const;

    // The scroll position nearest `scrollY` that shows the whole of cell `index` (its top
    // when the viewport is lower than a cell).
    std::int64_t ScrollToShow(std::size_t index, std::int64_t scrollY) const;

    // Rows one page turn moves: the whole rows the viewport holds, at least one.
    int PageRows() const;

    // The cell a move from `index` reaches: left and right step through the list (stopping
    // at its ends); up and down a row, staying put at the first row, and from a row above
    // the last onto the last cell when the last row is short of that column; page up and
    // down PageRows() rows, stopping at the first and the last cell. An empty grid: 0.
    std::size_t Move(std::size_t index, GridMove move) const;

private:
    int cellWidth_, cellHeight_, viewportWidth_, viewportHeight_;
    std::size_t count_;
    int columns_;
};

// The size, in logical pixels, a picture of `width` x `height` device pixels is drawn at in a
// box of `box` x `box` logical pixels on a display of `devicePixelRatio`: fitted inside with
// its aspect kept, never enlarged beyond its own pixels; at least 1 x 1.
struct FittedSize {
    double width = 0, height = 0;
};
FittedSize FitInBox(int width, int height, int box, double devicePixelRatio);

} // namespace tessaly
