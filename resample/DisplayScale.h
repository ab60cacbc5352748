// A reduced copy of a picture for drawing it smaller than its natural size: each output
// pixel is the mean of the block of source pixels it covers (a box filter), so fine
// detail does not alias as it would with nearest-pixel sampling.
#pragma once

#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"

#include <cstdint>
#include <vector>

namespace tessaly {

// width and height at least 1 and at most the source's size; throws std::invalid_argument
// otherwise.
Bitmap ReduceForDisplay(const Bitmap& source, int width, int height);
// The same of a kept picture, whatever its form: a picture kept as planes is turned into
// 24-bit rows a strip at a time on the way.
Bitmap ReduceForDisplay(const DecodedPicture& source, int width, int height);

// The part (left, top, regionWidth x regionHeight) of ReduceForDisplay(source, width,
// height), equal byte for byte, computed from the source pixels under it alone: a large
// reduced picture drawn part by part without a copy of the whole.
Bitmap ReduceRegionForDisplay(const Bitmap& source, int width, int height, int left, int top,
                              int regionWidth, int regionHeight);
Bitmap ReduceRegionForDisplay(const DecodedPicture& source, int width, int height, int left,
                              int top, int regionWidth, int regionHeight);

// The box reduction itself, made from source rows fed one at a time, top to bottom, holding
// one row of sums instead of the source: every reduction above runs through it, and a
// picture can be decoded straight into its display copy.
class DisplayReducer {
public:
    // The whole reduced copy of a source sourceWidth x sourceHeight, into `out`, whose size
    // is the copy's (at least 1 and at most the source's each way; std::invalid_argument
    // otherwise). `out` must outlive the reducer.
    DisplayReducer(int sourceWidth, int sourceHeight, Bitmap& out);
    // Rows top to top + rows - 1 and columns left to left + out.Width() - 1 of the copy
    // width x height, into rows outRow to outRow + rows - 1 of `out`. The sizes and the
    // part are not checked here.
    DisplayReducer(int sourceWidth, int sourceHeight, int width, int height, int left, int top,
                   int rows, Bitmap& out, int outRow);

    // The source rows and columns the part is made of: rows are fed from FirstSourceRow(),
    // each from column FirstSourceColumn() to that plus SourceColumns() - 1.
    int FirstSourceRow() const;
    int FirstSourceColumn() const { return firstColumn_; }
    int SourceColumns() const { return x0_.back(); }
    // Whether every row of the part is made; rows fed after are ignored.
    bool Done() const { return row_ == top_ + rows_; }

    // The next source row: SourceColumns() pixels of blue, green, red.
    void AddRow(const std::uint8_t* bgr);
    // Forgets the rows fed so far: the next row is FirstSourceRow() again.
    void Restart();

private:
    int sourceHeight_;
    int height_;
    int firstColumn_;
    std::vector<int> x0_;
    int top_;
    int rows_;
    Bitmap& out_;
    int outRow_;
    std::vector<std::uint32_t> columnSums_;
    int sourceRow_ = 0;
    int row_ = 0;
    int rowEnd_ = 0;
};

} // namespace tessaly
