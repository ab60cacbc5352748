// Changes to an EXIF block for turns and crops, made on the data of its APP1 segment
// ("Exif", two zero bytes, then the TIFF block) without libjpeg. Everything in the block that
// is not changed keeps its bytes and its place, so that offsets into it (maker notes too)
// stay right: a directory that has to grow is written anew at the block's end and the old
// one left unused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessaly {

using ExifData = std::vector<std::uint8_t>;

// The most data a marker segment holds (its length field counts itself and is 16 bits).
inline constexpr std::size_t kMaxSegmentData = 65533;

// Whether the data start with "Exif\0\0" and a TIFF header.
bool IsExifData(std::span<const std::uint8_t> data);

// Where in the data the orientation's value lies, when the first directory holds the tag as
// one SHORT (as cameras write it): its two bytes may then be written in place.
std::optional<std::size_t> OrientationValueOffset(std::span<const std::uint8_t> data);

// The two bytes of a SHORT in the block's byte order.
std::array<std::uint8_t, 2> ShortBytes(std::span<const std::uint8_t> data, std::uint16_t value);

// The data with the orientation set to `code`; a first directory without the tag (or with it
// in another type) is written anew with it. nullopt when the block or its first directory
// does not lie wholly inside the data, or the result would not fit a segment.
std::optional<ExifData> WithOrientation(std::span<const std::uint8_t> data, std::uint16_t code);

// The smallest EXIF block: a first directory holding only the orientation `code`.
ExifData MinimalExifData(std::uint16_t code);

// PixelXDimension and PixelYDimension (0xA002, 0xA003) of the Exif directory.
struct PixelDimensions {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const PixelDimensions&, const PixelDimensions&) = default;
};

// Both values, when the Exif directory holds both as SHORT or LONG.
std::optional<PixelDimensions> ReadPixelDimensions(std::span<const std::uint8_t> data);

// Writes both values in place (where the tags are, as SHORT or LONG). False, and the data as
// they were, when a tag is missing or a value does not fit its type.
bool SetPixelDimensions(ExifData& data, PixelDimensions dimensions);

// The thumbnail's bytes, when the block holds one (IFD1's offset and length inside the data).
std::optional<std::span<const std::uint8_t>> ExifThumbnailBytes(std::span<const std::uint8_t> data);

// The data with the thumbnail's bytes replaced by `jpeg` (in its place when it fits, else at
// the block's end) and IFD1's offset and length set. nullopt when the block has no thumbnail
// or the result would not fit a segment.
std::optional<ExifData> WithThumbnail(std::span<const std::uint8_t> data,
                                      std::span<const std::uint8_t> jpeg);

// The data without a thumbnail: the first directory links to no IFD1 (the directory that
// only describes the thumbnail), and thumbnail bytes at the block's end are cut off. The data
// as they are when the block cannot be read.
ExifData WithoutThumbnail(std::span<const std::uint8_t> data);

} // namespace tessaly
