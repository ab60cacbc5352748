// Cutting a rectangle out of a picture at its own resolution, for the clipboard and for
// picks: the result always has the rectangle's size, and where the rectangle reaches
// beyond the picture (also left of or above it) the result stays white.
#pragma once

#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/Orientation.h"

namespace tessaly {

// A w x h bitmap whose pixel (i, j) is source pixel (x + i, y + j) where that lies inside
// the source, white elsewhere. w or h below 1 throws std::invalid_argument.
Bitmap CutArea(const Bitmap& source, int x, int y, int w, int h);
Bitmap CutArea(const DecodedPicture& source, int x, int y, int w, int h);

// The same cut out of the upright picture of `source` (as `orientation` shows it): (x, y)
// and the size are upright coordinates, and the pixels inside the picture are the stored
// ones moved to where the upright picture has them (ReadUprightBgr). As stored, CutArea.
Bitmap CutArea(const Bitmap& source, Orientation orientation, int x, int y, int w, int h);
Bitmap CutArea(const DecodedPicture& source, Orientation orientation, int x, int y, int w, int h);

} // namespace tessaly
