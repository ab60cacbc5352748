// A full-size picture kept as libjpeg decodes it before colour conversion: the luma plane at
// full size and the two chroma planes at the file's reduced resolution (half the width for
// 4:2:2, half the height for 4:4:0, half the width and height for 4:2:0), or the one plane of
// a grey-scale file. A 24
// megapixel 4:2:0 photo takes 36 MB this way instead of 72 MB as 24-bit pixels.
//
// Any rectangle of it is turned into 24-bit pixels on request, byte for byte as libjpeg's own
// decode to 24-bit colour gives them: the chroma is upsampled with libjpeg's "fancy"
// (triangle) filter from the neighbouring samples around the rectangle, and the colour is
// converted with libjpeg's fixed-point YCbCr to RGB arithmetic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace tessaly {

class YccPlanes {
public:
    // How the chroma planes relate to the picture.
    enum class Layout {
        Grey,     // one plane, no chroma
        HalfWide, // 4:2:2: chroma half as wide, as high
        Quarter,  // 4:2:0: chroma half as wide and half as high
        HalfHigh, // 4:4:0: chroma as wide, half as high
    };

    YccPlanes() = default;
    // Planes for a picture of width x height (at least 1 x 1) in the given layout, every
    // sample unset. The planes' rows are `Stride(i)` bytes apart and at least as wide as
    // libjpeg writes them (whole blocks).
    YccPlanes(Layout layout, int width, int height);

    Layout GetLayout() const { return layout_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int PlaneCount() const { return layout_ == Layout::Grey ? 1 : 3; }
    // The samples of plane i (0: luma, 1: Cb, 2: Cr) that hold picture data.
    int PlaneWidth(int i) const;
    int PlaneHeight(int i) const;
    std::size_t Stride(int i) const { return planes_[static_cast<std::size_t>(i)].stride; }
    // Rows of plane i there is room for: whole iMCU rows, at least PlaneHeight(i).
    int AllocatedRows(int i) const { return planes_[static_cast<std::size_t>(i)].rows; }
    std::uint8_t* Row(int i, int y);
    const std::uint8_t* Row(int i, int y) const;
    // Bytes the planes take.
    std::size_t SizeBytes() const;
    // Bytes the planes of a picture of width x height in `layout` take (SizeBytes), without
    // making them.
    static std::size_t BytesFor(Layout layout, int width, int height);

    // Columns [left, left + width) of rows [top, top + height) as 24-bit rows of blue, green,
    // red, `stride` bytes apart from `out`. The rectangle must lie in the picture (throws
    // std::invalid_argument otherwise); an empty one writes nothing.
    void ReadBgr(int left, int top, int width, int height, std::uint8_t* out,
                 std::size_t stride) const;

private:
    struct Plane {
        std::unique_ptr<std::uint8_t[]> samples;
        std::size_t stride = 0;
        int width = 0;  // samples holding picture data
        int height = 0; // rows holding picture data
        int rows = 0;   // rows allocated (whole blocks)
    };

    Layout layout_ = Layout::Grey;
    int width_ = 0;
    int height_ = 0;
    std::array<Plane, 3> planes_;
};

} // namespace tessaly
