// The conversion of the program's 24-bit pixels (rows of blue, green, red bytes) from one
// colour profile to another, made by Little CMS with the perceptual intent and applied in
// place. Immutable once made: one transform may be applied from several threads at once
// (lcms keeps its one-pixel cache per call since version 2.3).
#pragma once

#include "colour/ColourProfile.h"
#include "picture/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaly {

class ColourTransform {
public:
    // From `from` (an RGB or grey profile; a grey one reads the first byte of each pixel,
    // which is all a grey picture's three bytes hold) to `to` (an RGB profile). Throws
    // BrokenProfile when either has another colour space or Little CMS cannot convert between
    // them (a tag missing or unreadable).
    ColourTransform(const ColourProfile& from, const ColourProfile& to);

    // Converts `height` rows of `width` pixels, `stride` bytes apart from `rows`.
    void ApplyRows(std::uint8_t* rows, std::size_t stride, int width, int height) const;
    void Apply(Bitmap& bitmap) const;
    // Columns [left, left + width) of rows [top, top + height); the rectangle must lie in the
    // bitmap (else std::invalid_argument).
    void Apply(Bitmap& bitmap, int left, int top, int width, int height) const;

private:
    struct Made;
    std::shared_ptr<const Made> made_;
};

} // namespace tessaly
