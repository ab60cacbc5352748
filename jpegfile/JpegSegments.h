// The markers of a JPEG file and the marker segments at its head, from the start of image up
// to the first frame or scan header: the application segments (EXIF, multi-picture index, ICC
// profile) and the tables. This is the one walker of marker segments: the lists here, the
// EXIF block (ExifBlock.h) and the restart index of the decoder all step through the file with
// ReadJpegMarker. The file is read piece by piece, a few bytes per marker, never whole.
//
// Bounded for any file: ListJpegSegments takes at most kMaxSegments steps (a segment, or a
// marker that stands alone), each reading its marker and length; fill bytes (0xFF) before a
// marker, which are legal in any number, are skipped in pieces of 64 KiB as far as they go,
// so a walk never reads beyond the fill bytes and 64 segments of at most 65,537 bytes. It
// ends quietly, keeping what it listed, at the first frame or scan header, at the end of the
// file, at that bound, or where the bytes are not a marker.
#pragma once

#include "base/RegularFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tessaly {

// Where the walker reads: up to `count` bytes at `offset` into `out`; returns how many were
// read, fewer at the end of the data. May throw (FileReadError for a file).
using ReadBytesAt =
    std::function<std::size_t(std::uint64_t offset, std::uint8_t* out, std::size_t count)>;

// The reader of a regular file, which must outlive it.
ReadBytesAt ReaderOf(const RegularFile& file);

// A marker as found at some offset: 0xFF, any number of fill bytes, the code, and for a
// marker that is not one of those that stand alone, its big-endian length, which counts
// itself.
struct JpegMarker {
    std::uint8_t code = 0;    // the byte after 0xFF: 0xE1 for APP1, 0xDA for SOS, ...
    std::uint64_t codeAt = 0; // where the code lies (its 0xFF is the byte before)
    std::uint64_t dataAt = 0; // where the segment's data start (after the length field)
    std::uint32_t size = 0;   // bytes of data (the length less its own two); 0 alone
    bool standsAlone = false; // RST0 to RST7, TEM, SOI and EOI carry no length
    std::uint64_t Next() const { return dataAt + size; } // where the next marker is due
};

// Markers that stand alone, without a length: RST0 to RST7, TEM, start and end of image.
constexpr bool StandsAlone(std::uint8_t code) {
    return (code >= 0xD0 && code <= 0xD9) || code == 0x01;
}

// Frame headers (SOF0 to SOF15); DHT, JPG and DAC share their range.
constexpr bool IsFrameHeader(std::uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// The marker at `at`; nullopt when the byte there is not 0xFF, the data end before its code
// (or its length), the code is 0 (a stuffed data byte, no marker) or the length does not
// count its own two bytes.
std::optional<JpegMarker> ReadJpegMarker(const ReadBytesAt& read, std::uint64_t at);

struct JpegSegment {
    std::uint8_t marker = 0;  // the byte after 0xFF: 0xE1 for APP1, 0xE2 for APP2, ...
    std::uint64_t offset = 0; // where the segment's data start (after the length field)
    std::uint32_t size = 0;   // bytes of data (the length field less its own two)
};

inline constexpr int kMaxSegments = 64;

// The segments of the file in their order, up to the first frame or scan header; empty when
// it does not start with a start of image. Throws what `read` throws (FileReadError).
std::vector<JpegSegment> ListJpegSegments(const ReadBytesAt& read);
std::vector<JpegSegment> ListJpegSegments(const RegularFile& file);

// The data of a segment, as far as the data hold them.
std::vector<std::uint8_t> ReadSegmentData(const ReadBytesAt& read, const JpegSegment& segment);
std::vector<std::uint8_t> ReadSegmentData(const RegularFile& file, const JpegSegment& segment);

} // namespace tessaly
