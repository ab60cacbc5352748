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

// The same reduction made from rows fed one at a time, top to bottom, holding one row of
// sums instead of the whole source: a picture decoded straight into its display copy.
class DisplayReducer {
public:
    // The sizes as for ReduceForDisplay; throws std::invalid_argument otherwise.
    DisplayReducer(int sourceWidth, int sourceHeight, int width, int height);
    // The next source row: sourceWidth pixels of blue, green, red.
    void AddRow(const std::uint8_t* bgr);
    // Forgets the rows fed so far: the next row is the first again.
    void Restart();
    // The reduced copy, equal byte for byte to ReduceForDisplay of the rows fed.
    Bitmap Take() { return std::move(out_); }

private:
    int sourceHeight_;
    std::vector<int> x0_;
    std::vector<std::uint32_t> columnSums_;
    Bitmap out_;
    int sourceRow_ = 0;
    int row_ = 0;
    int rowEnd_ = 0;
};

} // namespace tessaly
