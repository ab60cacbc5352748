// The marker segments at the head of a JPEG file, from the start of image up to the first
// frame or scan header: the application segments (EXIF, multi-picture index, ICC profile)
// and the tables. The file is read piece by piece, a few bytes per segment, never whole.
//
// Bounded for any file: the walk takes at most kMaxSegments steps (a segment, or a marker
// that stands alone), so it reads at most that many times and never beyond 4 MiB into the
// file (a segment holds at most 65,537 bytes). It ends quietly, keeping what it listed, at
// the first frame or scan header, at the end of the file, at that bound, or where the bytes
// are not a marker.
#pragma once

#include "base/RegularFile.h"

#include <cstdint>
#include <vector>

namespace tessaly {

struct JpegSegment {
    std::uint8_t marker = 0;  // the byte after 0xFF: 0xE1 for APP1, 0xE2 for APP2, ...
    std::uint64_t offset = 0; // where the segment's data start (after the length field)
    std::uint32_t size = 0;   // bytes of data (the length field less its own two)
};

inline constexpr int kMaxSegments = 64;

// The segments of the file in their order; empty when it does not start with a start of
// image. Throws FileReadError when reading fails.
std::vector<JpegSegment> ListJpegSegments(const RegularFile& file);

// The data of a segment, as far as the file holds them.
std::vector<std::uint8_t> ReadSegmentData(const RegularFile& file, const JpegSegment& segment);

} // namespace tessaly
