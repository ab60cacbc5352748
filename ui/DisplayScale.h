// A reduced copy of a picture for drawing it smaller than its natural size: each output
// pixel is the mean of the block of source pixels it covers (a box filter), so fine
// detail does not alias as it would with nearest-pixel sampling.
#pragma once

#include "imaging/Bitmap.h"

namespace tessaly {

// width and height at least 1 and at most the source's size; throws std::invalid_argument
// otherwise.
Bitmap ReduceForDisplay(const Bitmap& source, int width, int height);

} // namespace tessaly
