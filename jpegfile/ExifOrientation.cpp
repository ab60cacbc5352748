#include "jpegfile/ExifOrientation.h"

#include <cstddef>
#include <cstring>
#include <optional>

namespace tessaly {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::size_t kEntryBytes = 12;
constexpr std::uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};

// A TIFF block in its byte order; reads past its end give nothing.
class TiffBytes {
public:
    TiffBytes(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    std::optional<std::uint32_t> Unsigned(std::size_t offset, std::size_t size) const {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint32_t byte = bytes_[offset + (bigEndian_ ? i : size - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

// Bytes of one value of the TIFF types an orientation may be stored in; 0 for the others.
std::size_t UnsignedSize(std::uint32_t type) {
    switch (type) {
    case 1: // BYTE
        return 1;
    case 3: // SHORT
        return 2;
    case 4: // LONG
        return 4;
    default:
        return 0;
    }
}

} // namespace

std::uint32_t ExifOrientationCode(std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof kExifId || std::memcmp(payload.data(), kExifId, sizeof kExifId))
        return 0;
    const std::span<const std::uint8_t> tiff = payload.subspan(sizeof kExifId);
    if (tiff.size() < 8 || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M'))
        return 0;
    const TiffBytes block(tiff, tiff[0] == 'M');
    const std::optional<std::uint32_t> ifd0 = block.Unsigned(4, 4);
    const std::optional<std::uint32_t> count = ifd0 ? block.Unsigned(*ifd0, 2) : std::nullopt;
    if (!count)
        return 0;
    for (std::uint32_t i = 0; i < *count; ++i) {
        // The directory's entries follow its 2-byte count; an entry cut off ends it.
        const std::size_t entry = std::size_t{*ifd0} + 2 + kEntryBytes * i;
        const std::optional<std::uint32_t> tag = block.Unsigned(entry, 2);
        const std::optional<std::uint32_t> type = block.Unsigned(entry + 2, 2);
        const std::optional<std::uint32_t> values = block.Unsigned(entry + 4, 4);
        if (!tag || !type || !values || !block.Unsigned(entry + 8, 4))
            return 0;
        if (*tag != kOrientationTag)
            continue;
        const std::size_t size = UnsignedSize(*type);
        if (size == 0 || *values == 0)
            return 0;
        // One value of at most 4 bytes lies in the entry's value field itself.
        return block.Unsigned(entry + 8, size).value_or(0);
    }
    return 0;
}

} // namespace tessaly
