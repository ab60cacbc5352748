#include "imaging/AreaCut.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tessaly {

Bitmap CutArea(const Bitmap& source, int x, int y, int w, int h) {
    if (w < 1 || h < 1)
        throw std::invalid_argument("CutArea: the area " + std::to_string(w) + " x " +
                                    std::to_string(h) + " must be at least 1 x 1");
    Bitmap out = Bitmap::Uninitialized(w, h);
    std::memset(out.Data(), 0xFF, out.SizeBytes());
    // The overlap of [x, x + w) x [y, y + h) with the source, in 64 bits so that no
    // corner can overflow.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + w, source.Width());
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + h, source.Height());
    if (left >= right || top >= bottom)
        return out;
    const std::size_t bytes = static_cast<std::size_t>(right - left) * Bitmap::kBytesPerPixel;
    const std::size_t srcOffset = static_cast<std::size_t>(left) * Bitmap::kBytesPerPixel;
    const std::size_t dstOffset = static_cast<std::size_t>(left - x) * Bitmap::kBytesPerPixel;
    for (std::int64_t row = top; row < bottom; ++row)
        std::memcpy(out.Row(static_cast<int>(row - y)) + dstOffset,
                    source.Row(static_cast<int>(row)) + srcOffset, bytes);
    return out;
}

} // namespace tessaly
