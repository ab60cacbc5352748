#include "imaging/sepiaf.h"

#include "base/Rounding.h"

namespace tessaly {
namespace {

// The fixed chroma of the tint and the colour conversion coefficients.
constexpr Extended kCb = -0.08L;
constexpr Extended kCr = 0.071L;

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

void SepiaBitmap(Bitmap& bitmap) {
    const std::vector<SepiaEntry> table = SepiaTable();
    const SepiaEntry* tone = table.data();
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.Row(y);
        for (int x = 0; x < width; ++x, p += Bitmap::kBytesPerPixel) {
            const SepiaEntry& e = tone[SepiaIndex(p[0], p[1], p[2])];
            p[0] = e.blue;
            p[1] = e.green;
            p[2] = e.red;
        }
    }
}

} // namespace tessaly
