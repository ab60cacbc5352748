#include "resample/Monochrome.h"

#include "base/Rounding.h"
#include "resample/PixelKernels.h"

namespace tessaly {
namespace {

// The weighted sum in extended precision, in the order the levels are defined by.
std::uint8_t ExtendedLevel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return ClipByte(Round((red * 0.289L + green * 0.586L) + blue * 0.114L));
}

} // namespace

std::uint8_t MonochromeLevel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    // The sum is m / 1000 with m = 289 r + 586 g + 114 b. Unless m / 1000 lies exactly
    // halfway between two levels, the extended sum's error (below 1e-15) cannot move it
    // across the nearest half, at least 0.001 away, so integer rounding gives the same
    // level. Halfway cases are settled by the extended sum itself.
    const std::uint32_t m = 289u * red + 586u * green + 114u * blue;
    const std::uint32_t level = (m + 500) / 1000;
    if (level * 1000 == m + 500)
        return ExtendedLevel(blue, green, red);
    return static_cast<std::uint8_t>(level);
}

void ToMonochrome(std::uint8_t* pixels, std::size_t count) {
    kernels::MonochromePixels(pixels, count);
}

Bitmap ToMonochrome(Bitmap image) {
    const auto width = static_cast<std::size_t>(image.Width());
    for (int y = 0; y < image.Height(); ++y)
        ToMonochrome(image.Row(y), width);
    return image;
}

} // namespace tessaly
