#include "jpegfile/ExifOrientation.h"

#include "jpegfile/TiffView.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace tessaly {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;

} // namespace

std::uint32_t ExifOrientationCode(std::span<const std::uint8_t> tiff) {
    // The byte-order mark decides; the magic number after it is not checked, as cameras'
    // blocks are read by the EXIF reader too.
    if (tiff.size() < 8 || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M'))
        return 0;
    const TiffView view = TiffView::Over(tiff, tiff[0] == 'M');
    const std::optional<std::uint32_t> ifd0 = view.U32(4);
    const std::optional<TiffView::Entry> entry =
        ifd0 ? view.Find(*ifd0, kOrientationTag) : std::nullopt;
    if (!entry || entry->count == 0)
        return 0;
    // One value of at most 4 bytes lies in the entry's value field itself.
    switch (entry->type) {
    case 1: // BYTE
        return view.BytesAt(entry->field, 1)[0];
    case 3: // SHORT
    case 4: // LONG
        return view.Number(*entry).value_or(0);
    default:
        return 0;
    }
}

std::uint32_t ExifPayloadOrientationCode(std::span<const std::uint8_t> payload) {
    static constexpr std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    if (payload.size() < sizeof kExifHeader ||
        !std::equal(std::begin(kExifHeader), std::end(kExifHeader), payload.begin()))
        return 0;
    return ExifOrientationCode(payload.subspan(sizeof kExifHeader));
}

} // namespace tessaly
