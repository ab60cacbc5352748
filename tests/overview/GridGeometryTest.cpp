#include "overview/GridGeometry.h"

#include <cmath>
#include <gtest/gtest.h>
#include <utility>

namespace tessaly {
namespace {

// Cells of 140 x 100 in a viewport of 300 x 250: two columns, 10 pixels to spare each side.
GridGeometry Grid(std::size_t count, int width = 300, int height = 250) {
    return {140, 100, width, height, count};
}

TEST(GridGeometryTest, ColumnsFillTheWidthCentredAndAtLeastOne) {
    const GridGeometry grid = Grid(5);
    EXPECT_EQ(grid.Columns(), 2);
    EXPECT_EQ(grid.Rows(), 3u);
    EXPECT_EQ(grid.ContentHeight(), 300);
    EXPECT_EQ(grid.MaxScroll(), 50);
    EXPECT_EQ(grid.Cell(0).left, 10);
    EXPECT_EQ(grid.Cell(3).left, 150);
    EXPECT_EQ(grid.Cell(3).top, 100);

    const GridGeometry narrow = Grid(5, 60);
    EXPECT_EQ(narrow.Columns(), 1);
    EXPECT_EQ(narrow.Cell(0).left, 0);
    EXPECT_EQ(narrow.Rows(), 5u);
}

TEST(GridGeometryTest, VisibleCellsAreTheRowsTouchedWhateverTheListsLength) {
    EXPECT_EQ(Grid(10).Visible(0).first, 0u);
    EXPECT_EQ(Grid(10).Visible(0).count, 6u); // rows 0 to 2, the third in part
    EXPECT_EQ(Grid(10).Visible(150).first, 2u);
    EXPECT_EQ(Grid(10).Visible(150).count, 6u);
    // Beyond the end: clamped to the last screen, the short last row counted as it is.
    EXPECT_EQ(Grid(9).Visible(10'000).first, 4u);
    EXPECT_EQ(Grid(9).Visible(10'000).count, 5u);
    EXPECT_EQ(Grid(0).Visible(0).count, 0u);
    EXPECT_EQ(Grid(10, 300, 0).Visible(0).count, 0u);

    // A hundred thousand entries: a screen's worth in the middle, and the content's height
    // beyond 32 bits of pixels for narrow cells is still exact.
    const GridGeometry large = Grid(100'000);
    const auto range = large.Visible(2'500'000);
    EXPECT_EQ(range.first, 50'000u);
    EXPECT_EQ(range.count, 6u);
    const GridGeometry tall{1, 100'000, 1, 500, 100'000};
    EXPECT_EQ(tall.ContentHeight(), 10'000'000'000);
    EXPECT_EQ(tall.Visible(tall.MaxScroll()).first, 99'999u);
}

TEST(GridGeometryTest, CellUnderAPointNoneInTheMarginsOrPastTheLastCell) {
    const GridGeometry grid = Grid(5);
    EXPECT_EQ(grid.CellAt(10, 0, 0), 0u);
    EXPECT_EQ(grid.CellAt(289, 99, 0), 1u);
    EXPECT_EQ(grid.CellAt(150, 30, 50), 1u); // content y 80: row 0
    EXPECT_EQ(grid.CellAt(150, 60, 50), 3u); // content y 110: row 1
    EXPECT_EQ(grid.CellAt(20, 60, 50), 2u);  // content y 110: row 1
    EXPECT_FALSE(grid.CellAt(9, 10, 0));     // left margin
    EXPECT_FALSE(grid.CellAt(290, 10, 0));   // right margin
    EXPECT_FALSE(grid.CellAt(150, 240, 50)); // row 2's second cell: past the last
    EXPECT_FALSE(grid.CellAt(20, -1, 0));
}

TEST(GridGeometryTest, ScrollKeepsTheCellInViewMovingAsLittleAsNeeded) {
    const GridGeometry grid = Grid(20); // 10 rows, 1000 high, max scroll 750
    EXPECT_EQ(grid.ScrollToShow(0, 0), 0);
    EXPECT_EQ(grid.ScrollToShow(3, 0), 0);      // row 1: whole at 0
    EXPECT_EQ(grid.ScrollToShow(4, 0), 50);     // row 2 (200..300) ends at the bottom
    EXPECT_EQ(grid.ScrollToShow(4, 500), 200);  // above: its top at the top
    EXPECT_EQ(grid.ScrollToShow(10, 480), 480); // row 5 whole already
    EXPECT_EQ(grid.ScrollToShow(19, 0), 750);
    EXPECT_EQ(grid.ScrollToShow(99, 0), 750); // past the end: the last cell
    // A viewport lower than a cell shows the cell's top.
    EXPECT_EQ(Grid(20, 300, 60).ScrollToShow(6, 0), 300);
    EXPECT_EQ(Grid(0).ScrollToShow(3, 40), 0);
}

TEST(GridGeometryTest, MovesStopAtTheEndsAndDownReachesAShortLastRow) {
    const GridGeometry grid = Grid(9); // 2 columns, rows of 0-1 ... 8; 2 rows a page
    EXPECT_EQ(grid.Move(0, GridMove::Left), 0u);
    EXPECT_EQ(grid.Move(3, GridMove::Left), 2u); // to the end of the row above
    EXPECT_EQ(grid.Move(8, GridMove::Right), 8u);
    EXPECT_EQ(grid.Move(1, GridMove::Right), 2u);
    EXPECT_EQ(grid.Move(1, GridMove::Up), 1u);
    EXPECT_EQ(grid.Move(5, GridMove::Up), 3u);
    EXPECT_EQ(grid.Move(2, GridMove::Down), 4u);
    EXPECT_EQ(grid.Move(7, GridMove::Down), 8u); // the last row has no second column
    EXPECT_EQ(grid.Move(8, GridMove::Down), 8u);
    EXPECT_EQ(grid.Move(5, GridMove::Home), 0u);
    EXPECT_EQ(grid.Move(5, GridMove::End), 8u);
    EXPECT_EQ(grid.PageRows(), 2);
    EXPECT_EQ(grid.Move(1, GridMove::PageDown), 5u);
    EXPECT_EQ(grid.Move(6, GridMove::PageDown), 8u);
    EXPECT_EQ(grid.Move(5, GridMove::PageUp), 1u);
    EXPECT_EQ(grid.Move(3, GridMove::PageUp), 0u);
    EXPECT_EQ(Grid(9, 300, 50).PageRows(), 1); // at least a row
    EXPECT_EQ(Grid(0).Move(4, GridMove::Down), 0u);
    EXPECT_EQ(grid.Move(40, GridMove::Left), 7u); // from past the end: from the last
}

TEST(GridGeometryTest, ThumbnailFittedInItsBoxNeverEnlarged) {
    const auto fit = [](int w, int h, double dpr) {
        const FittedSize s = FitInBox(w, h, 128, dpr);
        // To a thousandth of a pixel: the scale is a quotient.
        return std::pair(std::round(s.width * 1000) / 1000, std::round(s.height * 1000) / 1000);
    };
    EXPECT_EQ(fit(160, 120, 1), std::pair(128.0, 96.0));
    EXPECT_EQ(fit(90, 160, 1), std::pair(72.0, 128.0));
    EXPECT_EQ(fit(96, 72, 1), std::pair(96.0, 72.0));
    EXPECT_EQ(fit(256, 192, 2), std::pair(128.0, 96.0)); // device pixels at a ratio of 2
    EXPECT_EQ(fit(128, 96, 2), std::pair(64.0, 48.0));
    EXPECT_EQ(fit(4000, 1, 1), std::pair(128.0, 1.0)); // at least a pixel high
    EXPECT_EQ(fit(0, 10, 1), std::pair(1.0, 1.0));
}

} // namespace
} // namespace tessaly
