#include "jpegfile/FilePreviews.h"

#include "jpegfile/ExifThumbnail.h"
#include "jpegfile/JpegSegments.h"
#include "jpegfile/MpfIndex.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessaly {
namespace {

constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;
// What the data of the two segments start with; the TIFF header follows.
constexpr std::string_view kExifId("Exif\0\0", 6);
constexpr std::string_view kMpfId("MPF\0", 4);

// The segment's data after `id`, when they start with it (only its first `significant`
// bytes are compared: the EXIF id's last byte is padding and may be anything); else none.
// The id is read first, so that other segments of the same kind (an ICC profile's pieces)
// are not read whole.
std::vector<std::uint8_t> DataAfterId(const RegularFile& file, const JpegSegment& segment,
                                      std::string_view id, std::size_t significant) {
    std::array<std::uint8_t, 8> head{};
    if (segment.size < id.size() ||
        file.ReadAt(segment.offset, head.data(), significant) != significant ||
        !std::equal(id.begin(), id.begin() + static_cast<std::ptrdiff_t>(significant),
                    head.begin()))
        return {};
    std::vector<std::uint8_t> data = ReadSegmentData(file, segment);
    data.erase(data.begin(),
               data.begin() + static_cast<std::ptrdiff_t>(std::min(id.size(), data.size())));
    return data;
}

bool InsideFile(const RegularFile& file, const FilePart& part) {
    return part.size > 0 && part.offset <= file.Size() && part.size <= file.Size() - part.offset;
}

} // namespace

std::vector<FilePart> FindFilePreviews(const RegularFile& file) {
    std::vector<FilePart> previews;
    bool exifSeen = false;
    bool indexSeen = false;
    for (const JpegSegment& segment : ListJpegSegments(file)) {
        if (segment.marker == kApp1 && !exifSeen) {
            const std::vector<std::uint8_t> tiff =
                DataAfterId(file, segment, kExifId, kExifId.size() - 1);
            if (tiff.empty())
                continue;
            exifSeen = true;
            if (const auto thumbnail = FindExifThumbnail(tiff))
                // The block lies inside the segment, so the place is inside the file.
                previews.insert(
                    previews.begin(),
                    {segment.offset + kExifId.size() + thumbnail->offset, thumbnail->size});
        } else if (segment.marker == kApp2 && !indexSeen) {
            const std::vector<std::uint8_t> tiff =
                DataAfterId(file, segment, kMpfId, kMpfId.size());
            if (tiff.empty())
                continue;
            indexSeen = true;
            const std::uint64_t base = segment.offset + kMpfId.size();
            for (const MpEntry& entry : ReadMpEntries(tiff))
                if (IsPreview(entry) && entry.offset != 0)
                    if (const FilePart part{base + entry.offset, entry.size};
                        InsideFile(file, part))
                        previews.push_back(part);
        }
    }
    return previews;
}

} // namespace tessaly
