#include "picture/UprightPixels.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tessaly {

namespace {

// Pixels a block has across and down: a block's 32 rows read and the 32 rows it writes (each
// a few cache lines, far apart when the picture is turned a quarter) stay in the first-level
// cache and its address translations.
constexpr int kBlock = 32;
// The tiles a kept picture's planes are turned into 24-bit pixels in, before they are placed:
// small enough to stay in the second-level cache (192 KiB), and not too thin, as each tile
// reads some samples around it for the chroma.
constexpr int kTileRows = 64;
constexpr int kTileColumns = 1024;

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
Placement PlacementOf(Orientation orientation, Size stored, std::size_t stride) {
    const UprightMapping mapping(orientation, stored);
    const auto offset = [&](Point p) {
        const Point u = mapping.ToUpright(p);
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
Rect StoredArea(Orientation orientation, Size stored, Rect area) {
    const UprightMapping mapping(orientation, stored);
    const Size upright = mapping.Upright();
    if (area.left < 0 || area.top < 0 || area.width < 0 || area.height < 0 ||
        area.left > upright.width - area.width || area.top > upright.height - area.height)
        throw std::invalid_argument("the area must lie in the upright picture");
    return mapping.ToStored(area);
}

// Turns the stored rectangle `rect` into `out`, tile by tile, each tile block by block;
// `tile(left, top, width, height, stride)` gives the pixels of that tile of the stored
// rectangle (counted from its corner) and sets their stride.
template <class Tile>
void Turn(Orientation orientation, Rect rect, std::uint8_t* out, std::size_t stride, Tile tile) {
    const Placement place = PlacementOf(orientation, {rect.width, rect.height}, stride);
    for (int top = 0; top < rect.height; top += kTileRows)
        for (int left = 0; left < rect.width; left += kTileColumns) {
            const int width = std::min(kTileColumns, rect.width - left);
            const int height = std::min(kTileRows, rect.height - top);
            std::size_t tileStride = 0;
            const std::uint8_t* pixels = tile(left, top, width, height, tileStride);
            for (int row = 0; row < height; row += kBlock)
                for (int column = 0; column < width; column += kBlock)
                    PlaceBlock(pixels + tileStride * static_cast<std::size_t>(row) +
                                   static_cast<std::size_t>(column) * Bitmap::kBytesPerPixel,
                               tileStride, left + column, top + row,
                               std::min(kBlock, width - column), std::min(kBlock, height - row),
                               out, place);
        }
}

void TurnFromBitmap(const Bitmap& picture, Orientation orientation, Rect rect, std::uint8_t* out,
                    std::size_t stride) {
    Turn(orientation, rect, out, stride, [&](int left, int top, int, int, std::size_t& tileStride) {
        tileStride = picture.Stride();
        return picture.Row(rect.top + top) +
               static_cast<std::size_t>(rect.left + left) * Bitmap::kBytesPerPixel;
    });
}

} // namespace

void ReadUprightBgr(const DecodedPicture& picture, Orientation orientation, Rect area,
                    std::uint8_t* out, std::size_t stride) {
    const Rect rect = StoredArea(orientation, {picture.Width(), picture.Height()}, area);
    if (orientation == Orientation::AsStored) {
        picture.ReadBgr(rect.left, rect.top, rect.width, rect.height, out, stride);
        return;
    }
    if (const Bitmap* rgb = picture.Rgb()) {
        TurnFromBitmap(*rgb, orientation, rect, out, stride);
        return;
    }
    // Planes are turned into 24-bit pixels a tile at a time.
    const std::size_t tileStride = static_cast<std::size_t>(kTileColumns) * Bitmap::kBytesPerPixel;
    std::vector<std::uint8_t> buffer(tileStride * kTileRows);
    Turn(orientation, rect, out, stride,
         [&](int left, int top, int width, int height, std::size_t& rowStride) {
             picture.ReadBgr(rect.left + left, rect.top + top, width, height, buffer.data(),
                             tileStride);
             rowStride = tileStride;
             return static_cast<const std::uint8_t*>(buffer.data());
         });
}

void ReadUprightBgr(const Bitmap& picture, Orientation orientation, Rect area, std::uint8_t* out,
                    std::size_t stride) {
    const Rect rect = StoredArea(orientation, {picture.Width(), picture.Height()}, area);
    if (orientation == Orientation::AsStored)
        ReadBgr(picture, rect.left, rect.top, rect.width, rect.height, out, stride);
    else
        TurnFromBitmap(picture, orientation, rect, out, stride);
}

Bitmap CopyUpright(const DecodedPicture& picture, Orientation orientation, Rect area) {
    Bitmap out = Bitmap::Uninitialized(area.width, area.height);
    ReadUprightBgr(picture, orientation, area, out.Data(), out.Stride());
    return out;
}

Bitmap TurnUpright(Bitmap stored, Orientation orientation) {
    if (orientation == Orientation::AsStored)
        return stored;
    const Size size = UprightMapping(orientation, {stored.Width(), stored.Height()}).Upright();
    Bitmap out = Bitmap::Uninitialized(size.width, size.height);
    ReadUprightBgr(stored, orientation, {0, 0, size.width, size.height}, out.Data(), out.Stride());
    return out;
}

} // namespace tessaly
