#include "jpegfile/FilePreviews.h"

#include "jpegfile/ExifBlock.h"
#include "jpegfile/ExifThumbnail.h"
#include "jpegfile/JpegSegments.h"
#include "jpegfile/MpfIndex.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessaly {
namespace {

constexpr std::uint8_t kApp2 = 0xE2;
// What the index segment's data start with; the TIFF header follows.
constexpr std::string_view kMpfId("MPF\0", 4);

// The index segment's data after its id, when they start with it; else none. The id is read
// first, so that other segments of the same kind (an ICC profile's pieces) are not read whole.
std::vector<std::uint8_t> IndexAfterId(const RegularFile& file, const JpegSegment& segment) {
    std::array<std::uint8_t, 4> head{};
    if (segment.size < kMpfId.size() ||
        file.ReadAt(segment.offset, head.data(), head.size()) != head.size() ||
        !std::equal(kMpfId.begin(), kMpfId.end(), head.begin()))
        return {};
    std::vector<std::uint8_t> data = ReadSegmentData(file, segment);
    data.erase(data.begin(),
               data.begin() + static_cast<std::ptrdiff_t>(std::min(kMpfId.size(), data.size())));
    return data;
}

bool InsideFile(const RegularFile& file, const FilePart& part) {
    return part.size > 0 && part.offset <= file.Size() && part.size <= file.Size() - part.offset;
}

} // namespace

std::vector<FilePart> FindFilePreviews(const RegularFile& file) {
    std::vector<FilePart> previews;
    const std::vector<JpegSegment> segments = ListJpegSegments(file);
    if (const std::optional<ExifBlock> exif = ReadExifBlock(ReaderOf(file), segments))
        if (const auto thumbnail = FindExifThumbnail(exif->tiff))
            // The block lies inside the segment, so the place is inside the file.
            previews.push_back({exif->tiffAt + thumbnail->offset, thumbnail->size});
    for (const JpegSegment& segment : segments) {
        if (segment.marker != kApp2)
            continue;
        const std::vector<std::uint8_t> tiff = IndexAfterId(file, segment);
        if (tiff.empty())
            continue;
        // Only the first index counts.
        const std::uint64_t base = segment.offset + kMpfId.size();
        for (const MpEntry& entry : ReadMpEntries(tiff))
            if (IsPreview(entry) && entry.offset != 0)
                if (const FilePart part{base + entry.offset, entry.size}; InsideFile(file, part))
                    previews.push_back(part);
        break;
    }
    return previews;
}

} // namespace tessaly
