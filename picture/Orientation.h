// How a picture is stored against how it was taken: the eight orientation codes of EXIF, and
// the one mapping between the upright picture (as it is shown, cut and saved) and the stored
// one (as libjpeg decodes it). Coordinates count whole pixels from the top left corner.
#pragma once

#include "base/PixelGeometry.h"

#include <cstdint>

namespace tessaly {

// The codes as EXIF numbers them, named by how the stored picture is shown upright. For codes
// 5 to 8 the stored rows are upright columns (from the left for 5 and 8, from the right for 6
// and 7) and the stored columns upright rows (from the top for 5 and 6, from the bottom for 7
// and 8).
enum class Orientation : std::uint8_t {
    AsStored = 1,          // stored rows run from the top, columns from the left
    MirroredLeftRight = 2, // stored columns run from the right
    HalfTurn = 3,          // stored rows from the bottom, columns from the right
    MirroredTopBottom = 4, // stored rows from the bottom
    Transposed = 5,
    QuarterClockwise = 6, // shown turned a quarter clockwise
    Transversed = 7,
    QuarterAnticlockwise = 8, // shown turned a quarter anticlockwise
};

// The orientation of an EXIF code: 1 to 8 as numbered, anything else (0, absent or out of
// range) as stored.
Orientation OrientationFromCode(std::uint32_t code);

// The orientation a picture is shown, cut and saved in: its own, or as stored when the user
// asked for the pictures as stored (--as-stored, in the viewer and the command-line tool).
constexpr Orientation ShownOrientation(Orientation own, bool asStored) {
    return asStored ? Orientation::AsStored : own;
}

// Whether the upright picture's width is the stored height (codes 5 to 8).
bool SwapsSides(Orientation orientation);

// A stored picture of a given size seen upright through its orientation: the mapping of
// pixels and rectangles between upright and stored coordinates. A rectangle maps to the
// rectangle holding exactly the mapped pixels; rectangles may reach beyond the picture (the
// mapping is the same arithmetic there), and a result that does not fit an int throws
// std::out_of_range.
class UprightMapping {
public:
    UprightMapping(Orientation orientation, Size stored);

    Orientation GetOrientation() const { return orientation_; }
    Size Stored() const { return stored_; }
    Size Upright() const;

    // The stored pixel shown at an upright pixel, and back.
    Point ToStored(Point upright) const;
    Point ToUpright(Point stored) const;

    // The stored rectangle holding the pixels of an upright one, and back.
    Rect ToStored(Rect upright) const;
    Rect ToUpright(Rect stored) const;

private:
    Orientation orientation_;
    Size stored_;
};

} // namespace tessaly
