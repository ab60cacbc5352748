#include "picture/AreaCut.h"

#include "picture/UprightPixels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tessaly {

namespace {

// The area in white, with the part of it that lies in the picture (width x height) read by
// `read(left, top, width, height, out, stride)`.
template <class Read> Bitmap Cut(int width, int height, int x, int y, int w, int h, Read read) {
    if (w < 1 || h < 1)
        throw std::invalid_argument("CutArea: the area " + std::to_string(w) + " x " +
                                    std::to_string(h) + " must be at least 1 x 1");
    Bitmap out = Bitmap::Uninitialized(w, h);
    std::memset(out.Data(), 0xFF, out.SizeBytes());
    // The overlap of [x, x + w) x [y, y + h) with the source, in 64 bits so that no
    // corner can overflow.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + w, width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + h, height);
    if (left >= right || top >= bottom)
        return out;
    const std::size_t dstOffset = static_cast<std::size_t>(left - x) * Bitmap::kBytesPerPixel;
    read(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
         static_cast<int>(bottom - top), out.Row(static_cast<int>(top - y)) + dstOffset,
         out.Stride());
    return out;
}

} // namespace

Bitmap CutArea(const Bitmap& source, int x, int y, int w, int h) {
    return Cut(source.Width(), source.Height(), x, y, w, h,
               [&](int left, int top, int width, int height, std::uint8_t* out,
                   std::size_t stride) { ReadBgr(source, left, top, width, height, out, stride); });
}

Bitmap CutArea(const DecodedPicture& source, int x, int y, int w, int h) {
    return Cut(source.Width(), source.Height(), x, y, w, h,
               [&](int left, int top, int width, int height, std::uint8_t* out,
                   std::size_t stride) { source.ReadBgr(left, top, width, height, out, stride); });
}

template <class Source>
Bitmap CutUpright(const Source& source, Orientation orientation, int x, int y, int w, int h) {
    const Size upright = UprightMapping(orientation, {source.Width(), source.Height()}).Upright();
    return Cut(
        upright.width, upright.height, x, y, w, h,
        [&](int left, int top, int width, int height, std::uint8_t* out, std::size_t stride) {
            ReadUprightBgr(source, orientation, {left, top, width, height}, out, stride);
        });
}

Bitmap CutArea(const Bitmap& source, Orientation orientation, int x, int y, int w, int h) {
    return CutUpright(source, orientation, x, y, w, h);
}

Bitmap CutArea(const DecodedPicture& source, Orientation orientation, int x, int y, int w, int h) {
    return CutUpright(source, orientation, x, y, w, h);
}

} // namespace tessaly
