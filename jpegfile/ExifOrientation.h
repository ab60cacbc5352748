// The orientation code a camera writes in the EXIF block, read from the block's bytes alone:
// the header read hands over the file's first EXIF segment, so no file is read twice.
#pragma once

#include <cstdint>
#include <span>

namespace tessaly {

// The first value of tag 0x0112 in the first directory (IFD0) of an EXIF APP1 segment's
// payload ("Exif", two zero bytes, then the TIFF block), when it is stored as an unsigned
// BYTE, SHORT or LONG; 0 when the payload, its directory or the tag is missing, cut off or of
// another type. Every read is bounded by the payload.
std::uint32_t ExifOrientationCode(std::span<const std::uint8_t> payload);

} // namespace tessaly
