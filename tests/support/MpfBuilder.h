// A builder of multi-picture files for tests: a primary JPEG picture whose APP2 "MPF" index
// names further pictures stored after its end of image (previews, depth or gain maps).
//
//     Bytes primary = EncodeJpeg(bitmap, {.segments = {MpfSegment(2)}});
//     Bytes file = AddMpfPictures(std::move(primary), {{kMpfLargeThumbnail, preview},
//                                                      {kMpfUndefined, gainMap}});
#pragma once

#include "tests/support/ExifBuilder.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly::fixtures {

// Type codes of index entries (the attribute's low 24 bits; format JPEG, no flags).
inline constexpr std::uint32_t kMpfUndefined = 0x000000;
inline constexpr std::uint32_t kMpfLargeThumbnail = 0x010001;
inline constexpr std::uint32_t kMpfLargeThumbnailFullHd = 0x010002;
inline constexpr std::uint32_t kMpfDisparity = 0x020002;
inline constexpr std::uint32_t kMpfPrimary = 0x030000;

struct MpfPicture {
    std::uint32_t attribute = kMpfLargeThumbnail;
    Bytes jpeg;
    // Written into the index instead of the true offset (from the index's TIFF header) or size.
    std::optional<std::uint32_t> offset;
    std::optional<std::uint32_t> size;
};

// The APP2 segment of an index of the primary picture and `pictures` more, every entry
// zero: one of EncodeJpeg's segments (JpegOptions::segments), for AddMpfPictures to fill in.
Bytes MpfSegment(std::size_t pictures, ByteOrder order = ByteOrder::Intel);

// `primary`, a JPEG file that holds MpfSegment(pictures.size(), order), with the pictures
// appended after it and its index filled in: the primary picture's entry (offset 0, its
// size) and one entry per picture. Throws when the file holds no such segment.
Bytes AddMpfPictures(Bytes primary, const std::vector<MpfPicture>& pictures,
                     ByteOrder order = ByteOrder::Intel);

} // namespace tessaly::fixtures
