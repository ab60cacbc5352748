// The orientation code a camera writes in the EXIF block, read from the block's bytes alone:
// the header read hands over the file's EXIF block (ExifBlock.h), so no file is read twice.
#pragma once

#include <cstdint>
#include <span>

namespace tessaly {

// The first value of the first tag 0x0112 in the first directory (IFD0) of an EXIF block
// `tiff` (the bytes from the TIFF header on), when it is stored as an unsigned BYTE, SHORT or
// LONG; 0 when the block, its directory or the tag is missing, cut off or of another type. A
// second entry of the tag is not looked at. Every read is bounded by the block.
std::uint32_t ExifOrientationCode(std::span<const std::uint8_t> tiff);
// The same for an EXIF APP1 segment's payload ("Exif", two zero bytes, then the TIFF block);
// 0 for a payload that is no EXIF block.
std::uint32_t ExifPayloadOrientationCode(std::span<const std::uint8_t> payload);

} // namespace tessaly
