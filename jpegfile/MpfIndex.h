// The index of a multi-picture file (an APP2 segment that starts with "MPF\0"): one entry
// per picture the file holds, the primary picture first. The others follow the primary
// picture's end of image: large thumbnails (previews), frames of a panorama or of a stereo
// pair, and pictures of undefined kind such as depth and gain maps.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessaly {

struct MpEntry {
    // Flags (bits 27-31), the data format (bits 24-26, 0 for JPEG) and the type (bits 0-23).
    std::uint32_t attribute = 0;
    std::uint32_t size = 0;
    // From the index's TIFF header (the byte after "MPF\0"); 0 for the primary picture.
    std::uint32_t offset = 0;
};

// The types of the two sizes of large thumbnail, 640 x 480 and 1920 x 1080 class: the only
// entries that are previews of the primary picture.
inline constexpr std::uint32_t kMpTypeLargeThumbnailVga = 0x010001;
inline constexpr std::uint32_t kMpTypeLargeThumbnailFullHd = 0x010002;

// At most this many entries are read; a camera writes two or three.
inline constexpr std::size_t kMaxMpEntries = 64;

// The entries of the index `tiff` (the segment's data after "MPF\0"): the MPEntry value
// (tag 0xB002) of its first directory. Empty when it is missing or does not lie wholly
// inside the bytes.
std::vector<MpEntry> ReadMpEntries(std::span<const std::uint8_t> tiff);

// A JPEG large thumbnail.
bool IsPreview(const MpEntry& entry);

} // namespace tessaly
