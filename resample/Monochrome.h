// Monochrome: turning a picture grey ("モノクロ"). Each pixel becomes the weighted sum
// 0.289 red + 0.586 green + 0.114 blue, rounded to the nearest level with halves to even
// (the weights sum to 0.989, so white becomes 252).
#pragma once

#include "picture/Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace tessaly {

// Value limited to 0 .. 255.
constexpr std::uint8_t ClipByte(std::int64_t value) {
    return static_cast<std::uint8_t>(value >= 255 ? 255 : value <= 0 ? 0 : value);
}

// The grey level of one pixel, exactly as the extended-precision weighted sum rounds it.
std::uint8_t MonochromeLevel(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

// Turns `count` pixels (blue, green, red) grey in place.
void ToMonochrome(std::uint8_t* pixels, std::size_t count);

// Takes the picture and returns it in grey, every pixel (v, v, v). The picture is consumed;
// its pixel memory is reused for the result.
Bitmap ToMonochrome(Bitmap image);

} // namespace tessaly
