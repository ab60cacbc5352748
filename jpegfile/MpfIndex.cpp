#include "jpegfile/MpfIndex.h"

#include "jpegfile/TiffView.h"

#include <algorithm>

namespace tessaly {
namespace {

constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::uint16_t kUndefined = 7;
constexpr std::uint32_t kEntrySize = 16;

} // namespace

std::vector<MpEntry> ReadMpEntries(std::span<const std::uint8_t> tiff) {
    std::vector<MpEntry> entries;
    const std::optional<TiffView> view = TiffView::Open(tiff);
    if (!view)
        return entries;
    const std::optional<TiffView::Entry> list = view->Find(view->FirstDirectory(), kMpEntryTag);
    // An UNDEFINED value of 16 bytes per entry.
    if (!list || list->type != kUndefined)
        return entries;
    const std::optional<std::uint64_t> at = view->ValueOffset(*list);
    if (!at)
        return entries;
    const std::size_t count = std::min<std::size_t>(list->count / kEntrySize, kMaxMpEntries);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t entry = *at + i * kEntrySize;
        // Inside: the whole value lies inside the bytes.
        entries.push_back({*view->U32(entry), *view->U32(entry + 4), *view->U32(entry + 8)});
    }
    return entries;
}

bool IsPreview(const MpEntry& entry) {
    const std::uint32_t format = entry.attribute >> 24 & 0x7;
    const std::uint32_t type = entry.attribute & 0xFFFFFF;
    return format == 0 && (type == kMpTypeLargeThumbnailVga || type == kMpTypeLargeThumbnailFullHd);
}

} // namespace tessaly
