// The EXIF block of a JPEG file: the data of its first APP1 segment that starts with
// "Exif\0\0" among the marker segments before the frame header (JpegSegments.h). An XMP or
// other APP1 segment before it is passed over; one after the frame header is not the
// picture's. Everything that reads EXIF (the orientation the picture is turned by, the
// reader behind the overlay and `tessaly-cli exif`, the thumbnail) takes this one block.
#pragma once

#include "jpegfile/JpegSegments.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly {

struct ExifBlock {
    std::uint64_t tiffAt = 0;       // where the TIFF header lies in the file
    std::vector<std::uint8_t> tiff; // the segment's data after "Exif\0\0", as far as they go
};

// The block among `segments` (the file's, as ListJpegSegments gives them); nullopt when none
// of them is an EXIF segment. Throws what `read` throws.
std::optional<ExifBlock> ReadExifBlock(const ReadBytesAt& read,
                                       const std::vector<JpegSegment>& segments);
// The same, listing the file's segments first.
std::optional<ExifBlock> ReadExifBlock(const ReadBytesAt& read);

} // namespace tessaly
