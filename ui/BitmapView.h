// Bitmaps and Qt: drawing a bitmap without copying it, and putting one on the clipboard.
#pragma once

#include "picture/Bitmap.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace tessaly {

// A QImage over a bitmap's rows, without copying (the bitmap must outlive it).
QImage BitmapView(const Bitmap& bitmap);

// A 24-bit copy of the bitmap that owns its pixels.
QImage BitmapCopy(const Bitmap& bitmap);

// Replaces the clipboard's contents with the bitmap as a 24-bit image, carrying the colour
// profile `profile` (none when empty) as the image's colour space, so that its PNG form
// holds it (iCCP); a profile Qt cannot read is left out. Throws
// std::runtime_error("クリップボードを開くことができません") when there is no clipboard.
void PutOnClipboard(const Bitmap& bitmap, const std::vector<std::uint8_t>& profile = {});

} // namespace tessaly
