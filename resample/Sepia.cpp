#include "resample/Sepia.h"

#include "base/Rounding.h"
#include "resample/PixelKernels.h"

#include <cmath>

namespace tessaly {
namespace {

// The fixed chroma of the tint and the colour conversion coefficients.
constexpr Extended kCb = -0.08L;
constexpr Extended kCr = 0.071L;

// What the tint adds to the brightness in each channel.
constexpr Extended kRedShift = 1.4026L * kCr;
constexpr Extended kGreenShift = -(0.3444L * kCb) - 0.7114L * kCr;
constexpr Extended kBlueShift = 1.733L * kCb;

std::int32_t ToneOffset(Extended shift) {
    return static_cast<std::int32_t>(std::floor((shift * 255 + 0.5L) * 65536));
}

std::uint8_t ToneByte(Extended value) {
    if (value > 1)
        value = 1;
    else if (!(value >= 0))
        value = 0;
    return static_cast<std::uint8_t>(Trunc(value * 255 + 0.5L));
}

} // namespace

std::vector<SepiaEntry> SepiaTable() {
    std::vector<SepiaEntry> table(kSepiaTableSize);
    for (std::size_t i = 0; i < kSepiaTableSize; ++i) {
        const Extended y = static_cast<Extended>(i) / 65536;
        const Extended r = y + 1.4026L * kCr;
        const Extended g = (y - 0.3444L * kCb) - 0.7114L * kCr;
        const Extended b = y + 1.733L * kCb;
        table[i] = {ToneByte(b), ToneByte(g), ToneByte(r)};
    }
    return table;
}

SepiaToneOffsets SepiaOffsets() {
    return {ToneOffset(kBlueShift), ToneOffset(kGreenShift), ToneOffset(kRedShift)};
}

SepiaTint::SepiaTint() : offsets_(SepiaOffsets()) {
    const std::vector<SepiaEntry> table = SepiaTable();
    tones_.resize(table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
        tones_[i] = table[i].blue | (std::uint32_t{table[i].green} << 8) |
                    (std::uint32_t{table[i].red} << 16);
}

void SepiaTint::Apply(std::uint8_t* pixels, std::size_t count) const {
    kernels::SepiaPixels(pixels, count, tones_.data(), offsets_);
}

void TintSepia(Bitmap& bitmap) {
    const SepiaTint tint;
    const auto width = static_cast<std::size_t>(bitmap.Width());
    for (int y = 0; y < bitmap.Height(); ++y)
        tint.Apply(bitmap.Row(y), width);
}

} // namespace tessaly
