// Sepia: tinting a picture sepia. Every pixel's brightness selects one brown tone from a
// table of 65,537 entries that is built afresh for each call.
#pragma once

#include "picture/Bitmap.h"

#include <cstdint>
#include <vector>

namespace tessaly {

// One table entry, in pixel order.
struct SepiaEntry {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    friend bool operator==(const SepiaEntry&, const SepiaEntry&) = default;
};

// Brightness weights of a pixel's bytes; they sum to 256 x 257, so white gives index 65,535.
inline constexpr std::uint32_t kSepiaRedWeight = 19672;
inline constexpr std::uint32_t kSepiaGreenWeight = 38620;
inline constexpr std::uint32_t kSepiaBlueWeight = 7500;
inline constexpr std::size_t kSepiaTableSize = 65537;

// Entry i is the sepia tone of brightness i / 65,536 (indices 0 to 65,536).
std::vector<SepiaEntry> SepiaTable();

// Each channel of entry i is a step function of i: clamp((i x 255 + offset) >> 16, 0, 255)
// with offset = floor((shift x 255 + 0.5) x 65,536), where shift is what the tint adds to
// the brightness in that channel. The vector loop computes tones this way instead of
// looking them up; the two agree at every index.
struct SepiaToneOffsets {
    std::int32_t blue;
    std::int32_t green;
    std::int32_t red;
};
SepiaToneOffsets SepiaOffsets();

// The table index of a pixel: (b x 7,500 + g x 38,620 + r x 19,672) shifted right by 8.
inline std::uint32_t SepiaIndex(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return (blue * kSepiaBlueWeight + green * kSepiaGreenWeight + red * kSepiaRedWeight) >> 8;
}

// The sepia tint, its tones worked out once, for rows of pixels.
class SepiaTint {
public:
    SepiaTint();
    // Tints `count` pixels (blue, green, red) in place.
    void Apply(std::uint8_t* pixels, std::size_t count) const;

private:
    // The table's tones packed into one word each (blue | green << 8 | red << 16).
    std::vector<std::uint32_t> tones_;
    SepiaToneOffsets offsets_;
};

// Tints the bitmap sepia in place. An empty bitmap is left as it is.
void TintSepia(Bitmap& bitmap);

} // namespace tessaly
