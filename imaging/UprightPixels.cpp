#include "imaging/UprightPixels.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tessaly {

namespace {

// Pixels a block has across and down: 64 x 64 x 3 bytes read, and 64 rows of 192 bytes
// written, stay in the first-level cache.
constexpr int kBlock = 64;

// Where the pixels of a stored rectangle go in the output: the pixel `i` columns right of and
// `j` rows below the rectangle's corner goes to byte start + i * perColumn + j * perRow.
struct Placement {
    std::ptrdiff_t start;
    std::ptrdiff_t perColumn;
    std::ptrdiff_t perRow;
};

// The upright mapping of the stored rectangle alone, as byte offsets into rows `stride` apart.
// The mapping is the same arithmetic for any size, so the steps are the images of the pixels
// next to the corner.
Placement PlacementOf(Orientation orientation, PictureSize stored, std::size_t stride) {
    const UprightMapping mapping(orientation, stored);
    const auto offset = [&](PicturePoint p) {
        const PicturePoint u = mapping.ToUpright(p);
        return static_cast<std::ptrdiff_t>(u.y) * static_cast<std::ptrdiff_t>(stride) +
               static_cast<std::ptrdiff_t>(u.x) * Bitmap::kBytesPerPixel;
    };
    const std::ptrdiff_t start = offset({0, 0});
    return {start, offset({1, 0}) - start, offset({0, 1}) - start};
}

// Writes a block of stored pixels (`width` x `height`, rows `sourceStride` apart from
// `source`, whose corner is `column`, `row` in the stored rectangle) to its place.
void PlaceBlock(const std::uint8_t* source, std::size_t sourceStride, int column, int row,
                int width, int height, std::uint8_t* out, const Placement& place) {
    for (int j = 0; j < height; ++j) {
        const std::uint8_t* from = source + sourceStride * static_cast<std::size_t>(j);
        // Offsets, not pointers, walk the output: a step may lead before its start.
        std::ptrdiff_t to = place.start + place.perColumn * column + place.perRow * (row + j);
        for (int i = 0; i < width; ++i, from += Bitmap::kBytesPerPixel, to += place.perColumn)
            std::memcpy(out + to, from, Bitmap::kBytesPerPixel);
    }
}

// The stored rectangle of an upright area, after checking that the area lies in the upright
// picture of a stored one of size `stored`.
PictureRect StoredArea(Orientation orientation, PictureSize stored, PictureRect area) {
    const UprightMapping mapping(orientation, stored);
    const PictureSize upright = mapping.Upright();
    if (area.left < 0 || area.top < 0 || area.width < 0 || area.height < 0 ||
        area.left > upright.width - area.width || area.top > upright.height - area.height)
        throw std::invalid_argument("the area must lie in the upright picture");
    return mapping.ToStored(area);
}

// Turns the stored rectangle `rect` into `out`; `rows(top, count, stride)` gives the stored
// rectangle's rows [top, top + count) (counted from its top) and sets their stride.
template <class Rows>
void Turn(Orientation orientation, PictureRect rect, std::uint8_t* out, std::size_t stride,
          Rows rows) {
    const Placement place = PlacementOf(orientation, {rect.width, rect.height}, stride);
    for (int row = 0; row < rect.height; row += kBlock) {
        const int height = std::min(kBlock, rect.height - row);
        std::size_t rowStride = 0;
        const std::uint8_t* strip = rows(row, height, rowStride);
        for (int column = 0; column < rect.width; column += kBlock)
            PlaceBlock(strip + static_cast<std::size_t>(column) * Bitmap::kBytesPerPixel, rowStride,
                       column, row, std::min(kBlock, rect.width - column), height, out, place);
    }
}

void TurnFromBitmap(const Bitmap& picture, Orientation orientation, PictureRect rect,
                    std::uint8_t* out, std::size_t stride) {
    Turn(orientation, rect, out, stride, [&](int top, int, std::size_t& rowStride) {
        rowStride = picture.Stride();
        return picture.Row(rect.top + top) +
               static_cast<std::size_t>(rect.left) * Bitmap::kBytesPerPixel;
    });
}

} // namespace

void ReadUprightBgr(const DecodedPicture& picture, Orientation orientation, PictureRect area,
                    std::uint8_t* out, std::size_t stride) {
    const PictureRect rect = StoredArea(orientation, {picture.Width(), picture.Height()}, area);
    if (orientation == Orientation::AsStored) {
        picture.ReadBgr(rect.left, rect.top, rect.width, rect.height, out, stride);
        return;
    }
    if (const Bitmap* rgb = picture.Rgb()) {
        TurnFromBitmap(*rgb, orientation, rect, out, stride);
        return;
    }
    // Planes are turned into 24-bit pixels a strip of block rows at a time.
    const std::size_t stripStride = static_cast<std::size_t>(rect.width) * Bitmap::kBytesPerPixel;
    std::vector<std::uint8_t> strip(stripStride *
                                    static_cast<std::size_t>(std::min(kBlock, rect.height)));
    Turn(orientation, rect, out, stride, [&](int top, int count, std::size_t& rowStride) {
        picture.ReadBgr(rect.left, rect.top + top, rect.width, count, strip.data(), stripStride);
        rowStride = stripStride;
        return static_cast<const std::uint8_t*>(strip.data());
    });
}

void ReadUprightBgr(const Bitmap& picture, Orientation orientation, PictureRect area,
                    std::uint8_t* out, std::size_t stride) {
    const PictureRect rect = StoredArea(orientation, {picture.Width(), picture.Height()}, area);
    if (orientation == Orientation::AsStored)
        ReadBgr(picture, rect.left, rect.top, rect.width, rect.height, out, stride);
    else
        TurnFromBitmap(picture, orientation, rect, out, stride);
}

Bitmap CopyUpright(const DecodedPicture& picture, Orientation orientation, PictureRect area) {
    Bitmap out = Bitmap::Uninitialized(area.width, area.height);
    ReadUprightBgr(picture, orientation, area, out.Data(), out.Stride());
    return out;
}

Bitmap TurnUpright(Bitmap stored, Orientation orientation) {
    if (orientation == Orientation::AsStored)
        return stored;
    const PictureSize size =
        UprightMapping(orientation, {stored.Width(), stored.Height()}).Upright();
    Bitmap out = Bitmap::Uninitialized(size.width, size.height);
    ReadUprightBgr(stored, orientation, {0, 0, size.width, size.height}, out.Data(), out.Stride());
    return out;
}

} // namespace tessaly
