// A decoded picture as the viewer keeps it: 24-bit pixels, or, for a full-size picture whose
// file stores its colour at reduced resolution, the planes libjpeg decodes before colour
// conversion (YccPlanes), turned into 24-bit pixels part by part as they are drawn or cut.
// Either way every part reads the same bytes as a plain 24-bit decode of the file.
#pragma once

#include "picture/Bitmap.h"
#include "picture/YccPlanes.h"

#include <cstddef>
#include <cstdint>
#include <variant>

namespace tessaly {

// Columns [left, left + width) of rows [top, top + height) of a bitmap, copied to 24-bit rows
// `stride` bytes apart from `out`; the rectangle must lie in the bitmap.
void ReadBgr(const Bitmap& source, int left, int top, int width, int height, std::uint8_t* out,
             std::size_t stride);

class DecodedPicture {
public:
    DecodedPicture() = default;
    // A bitmap handed over is a decoded picture kept as 24-bit pixels. Only a bitmap being
    // given up converts by itself, so that no whole picture is ever copied unnoticed.
    DecodedPicture(Bitmap&& rgb) : pixels_(std::move(rgb)) {} // NOLINT(google-explicit-constructor)
    explicit DecodedPicture(YccPlanes planes) : pixels_(std::move(planes)) {}

    int Width() const;
    int Height() const;
    bool Empty() const { return Width() == 0 || Height() == 0; }
    std::size_t SizeBytes() const;

    // The pixels when kept as 24-bit rows, else nullptr.
    const Bitmap* Rgb() const { return std::get_if<Bitmap>(&pixels_); }
    const YccPlanes* Planes() const { return std::get_if<YccPlanes>(&pixels_); }

    // Columns [left, left + width) of rows [top, top + height) as 24-bit rows of blue, green,
    // red, `stride` bytes apart from `out`; the rectangle must lie in the picture.
    void ReadBgr(int left, int top, int width, int height, std::uint8_t* out,
                 std::size_t stride) const;
    // The same rectangle as a bitmap.
    Bitmap Copy(int left, int top, int width, int height) const;

    // Same size and the same 24-bit pixels.
    bool SamePixels(const Bitmap& other) const;

private:
    std::variant<Bitmap, YccPlanes> pixels_;
};

} // namespace tessaly
