#include "picture/Bitmap.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace tessaly {

std::size_t Bitmap::StrideFor(int width) {
    if (width < 0)
        throw std::length_error("Bitmap: negative width");
    const std::uint64_t row =
        (static_cast<std::uint64_t>(width) * kBytesPerPixel + 3) & ~std::uint64_t{3};
    return static_cast<std::size_t>(row);
}

Bitmap::Bitmap(int width, int height) : Bitmap(width, height, true) {}

Bitmap Bitmap::Uninitialized(int width, int height) {
    return Bitmap(width, height, false);
}

Bitmap::Bitmap(int width, int height, bool zero) {
    if (width < 0 || height < 0)
        throw std::length_error("Bitmap: negative size " + std::to_string(width) + " x " +
                                std::to_string(height));
    const std::uint64_t stride = StrideFor(width);
    const std::uint64_t total = stride * static_cast<std::uint64_t>(height);
    if (total > std::numeric_limits<std::size_t>::max() / 2)
        throw std::length_error("Bitmap: too large");
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::size_t>(stride);
    if (total > 0)
        pixels_ = zero ? std::make_unique<std::uint8_t[]>(total)
                       : std::make_unique_for_overwrite<std::uint8_t[]>(total);
}

Bitmap::Bitmap(const Bitmap& other)
    : width_(other.width_), height_(other.height_), stride_(other.stride_) {
    if (other.pixels_) {
        pixels_ = std::make_unique_for_overwrite<std::uint8_t[]>(other.SizeBytes());
        std::memcpy(pixels_.get(), other.pixels_.get(), other.SizeBytes());
    }
}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this != &other)
        *this = Bitmap(other);
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : width_(other.width_), height_(other.height_), stride_(other.stride_),
      pixels_(std::move(other.pixels_)) {
    other.width_ = other.height_ = 0;
    other.stride_ = 0;
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        width_ = other.width_;
        height_ = other.height_;
        stride_ = other.stride_;
        pixels_ = std::move(other.pixels_);
        other.width_ = other.height_ = 0;
        other.stride_ = 0;
    }
    return *this;
}

void Bitmap::Fill(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* p = Row(y);
        for (int x = 0; x < width_; ++x, p += kBytesPerPixel) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

bool Bitmap::SamePixels(const Bitmap& other) const {
    if (width_ != other.width_ || height_ != other.height_)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * kBytesPerPixel;
    for (int y = 0; y < height_; ++y)
        if (rowBytes && std::memcmp(Row(y), other.Row(y), rowBytes) != 0)
            return false;
    return true;
}

} // namespace tessaly
