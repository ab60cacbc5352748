// The program's raster: 24 bits per pixel, each row a run of blue, green, red bytes,
// rows padded to a multiple of 4 bytes. A Bitmap owns its pixels; copies are deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaly {

class Bitmap {
public:
    static constexpr int kBytesPerPixel = 3;

    Bitmap() = default;
    // A width x height bitmap, every byte 0 (black). Throws std::length_error when either
    // dimension is negative or the size does not fit in memory sizes.
    Bitmap(int width, int height);

    // As above, but the pixels are left unset, for a caller that writes every row.
    static Bitmap Uninitialized(int width, int height);

    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    ~Bitmap() = default;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes from one row to the next.
    std::size_t Stride() const { return stride_; }
    std::size_t SizeBytes() const { return stride_ * static_cast<std::size_t>(height_); }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    std::uint8_t* Row(int y) { return pixels_.get() + stride_ * static_cast<std::size_t>(y); }
    const std::uint8_t* Row(int y) const {
        return pixels_.get() + stride_ * static_cast<std::size_t>(y);
    }
    std::uint8_t* Data() { return pixels_.get(); }
    const std::uint8_t* Data() const { return pixels_.get(); }

    // Every pixel becomes (blue, green, red).
    void Fill(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

    // Same size and same pixel bytes (row padding is not compared).
    bool SamePixels(const Bitmap& other) const;

    // Row length in bytes for a width, padded to 4 bytes; throws std::length_error when
    // the row or the whole bitmap would not fit in memory sizes.
    static std::size_t StrideFor(int width);

private:
    Bitmap(int width, int height, bool zero);

    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    std::unique_ptr<std::uint8_t[]> pixels_;
};

} // namespace tessaly
