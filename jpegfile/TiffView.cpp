#include "jpegfile/TiffView.h"

#include <algorithm>

namespace tessaly {
namespace {

constexpr std::uint64_t kEntrySize = 12;

// TIFF types the preview's fields use.
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

// Bytes per element of the TIFF types; 0 for a type the format does not define.
std::uint64_t ElementSize(std::uint16_t type) {
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case kShort:
    case 8: // SSHORT
        return 2;
    case kLong:
    case 9:  // SLONG
    case 11: // FLOAT
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
}

} // namespace

std::optional<TiffView> TiffView::Open(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8)
        return std::nullopt;
    const bool intel = bytes[0] == 'I' && bytes[1] == 'I';
    const bool motorola = bytes[0] == 'M' && bytes[1] == 'M';
    if (!intel && !motorola)
        return std::nullopt;
    const TiffView view(bytes, motorola);
    if (view.U16(2) != 42)
        return std::nullopt;
    return view;
}

std::optional<std::uint16_t> TiffView::U16(std::uint64_t offset) const {
    if (!Inside(offset, 2))
        return std::nullopt;
    const std::uint8_t* b = bytes_.data() + offset;
    return static_cast<std::uint16_t>(motorola_ ? b[0] << 8 | b[1] : b[1] << 8 | b[0]);
}

std::optional<std::uint32_t> TiffView::U32(std::uint64_t offset) const {
    if (!Inside(offset, 4))
        return std::nullopt;
    const std::uint8_t* b = bytes_.data() + offset;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | b[motorola_ ? i : 3 - i];
    return value;
}

std::uint32_t TiffView::EntriesInside(std::uint32_t directory) const {
    const std::optional<std::uint16_t> declared = U16(directory);
    if (!declared)
        return 0;
    // U16 found the count inside, so directory + 2 does not pass the end.
    const std::uint64_t room = (bytes_.size() - directory - 2) / kEntrySize;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(*declared, room));
}

std::optional<TiffView::Entry> TiffView::Find(std::uint32_t directory, std::uint16_t tag) const {
    const std::uint32_t entries = EntriesInside(directory);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint64_t at = std::uint64_t{directory} + 2 + i * kEntrySize;
        if (U16(at) == tag)
            return Entry{tag, *U16(at + 2), *U32(at + 4), at + 8};
    }
    return std::nullopt;
}

std::optional<std::uint32_t> TiffView::NextDirectory(std::uint32_t directory) const {
    const std::optional<std::uint16_t> declared = U16(directory);
    if (!declared)
        return std::nullopt;
    const std::optional<std::uint32_t> link =
        U32(std::uint64_t{directory} + 2 + *declared * kEntrySize);
    if (!link || *link == 0)
        return std::nullopt;
    return link;
}

std::optional<std::uint32_t> TiffView::Number(const Entry& entry) const {
    if (entry.count == 0)
        return std::nullopt;
    if (entry.type == kShort)
        return U16(entry.field);
    if (entry.type == kLong)
        return U32(entry.field);
    return std::nullopt;
}

std::optional<std::uint64_t> TiffView::ValueOffset(const Entry& entry) const {
    const std::uint64_t elementSize = ElementSize(entry.type);
    if (elementSize == 0)
        return std::nullopt;
    const std::uint64_t size = elementSize * entry.count;
    std::optional<std::uint64_t> at = entry.field;
    if (size > 4)
        at = U32(entry.field);
    if (!at || !Inside(*at, size))
        return std::nullopt;
    return at;
}

} // namespace tessaly
