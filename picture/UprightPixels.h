// The upright picture's pixels: parts of a stored picture moved to where its orientation
// shows them, byte for byte (no resampling). The stored pixels are read block by block and
// each block is written turned, so that reading and writing both stay within a few rows.
#pragma once

#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/Orientation.h"

#include <cstddef>
#include <cstdint>

namespace tessaly {

// The rectangle `area` of the upright picture of `picture` (in upright coordinates; it must
// lie in the upright picture, else std::invalid_argument) as 24-bit rows `stride` bytes apart
// from `out`. As stored, this is picture.ReadBgr of the same rectangle.
void ReadUprightBgr(const DecodedPicture& picture, Orientation orientation, Rect area,
                    std::uint8_t* out, std::size_t stride);
void ReadUprightBgr(const Bitmap& picture, Orientation orientation, Rect area, std::uint8_t* out,
                    std::size_t stride);

// The same rectangle as a bitmap.
Bitmap CopyUpright(const DecodedPicture& picture, Orientation orientation, Rect area);

// The whole bitmap turned upright; as stored, the bitmap itself.
Bitmap TurnUpright(Bitmap stored, Orientation orientation);

} // namespace tessaly
