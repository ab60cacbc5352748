#include "jpegfile/ExifBlock.h"

#include <algorithm>
#include <array>

namespace tessaly {
namespace {

constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::array<std::uint8_t, 6> kExifId = {'E', 'x', 'i', 'f', 0, 0};

} // namespace

std::optional<ExifBlock> ReadExifBlock(const ReadBytesAt& read,
                                       const std::vector<JpegSegment>& segments) {
    for (const JpegSegment& segment : segments) {
        // The id is read first, so that an XMP packet is not read whole.
        std::array<std::uint8_t, kExifId.size()> id{};
        if (segment.marker != kApp1 || segment.size < id.size() ||
            read(segment.offset, id.data(), id.size()) != id.size() || id != kExifId)
            continue;
        ExifBlock block;
        block.tiffAt = segment.offset + id.size();
        block.tiff.resize(segment.size - id.size());
        block.tiff.resize(read(block.tiffAt, block.tiff.data(), block.tiff.size()));
        return block;
    }
    return std::nullopt;
}

std::optional<ExifBlock> ReadExifBlock(const ReadBytesAt& read) {
    return ReadExifBlock(read, ListJpegSegments(read));
}

} // namespace tessaly
