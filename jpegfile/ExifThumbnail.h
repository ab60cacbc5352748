// The thumbnail of an EXIF block: a small JPEG picture stored inside the block and named by
// IFD1, the directory that IFD0 links to, with JPEGInterchangeFormat (tag 513, its offset
// from the TIFF header) and JPEGInterchangeFormatLength (tag 514, its size).
#pragma once

#include "base/FilePart.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tessaly {

// Where the thumbnail lies, as an offset from the TIFF header, in the block `tiff` (the
// bytes from the TIFF header on: an APP1 segment's data after "Exif\0\0"). nullopt when
// IFD1 lacks either tag, the size is 0 or the thumbnail does not lie wholly inside the block.
std::optional<FilePart> FindExifThumbnail(std::span<const std::uint8_t> tiff);

} // namespace tessaly
