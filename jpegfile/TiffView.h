// A TIFF structure held in memory, as an EXIF or a multi-picture block stores it: a header
// that names the byte order and the first directory, then directories of 12-byte entries.
// Offsets are counted from the header's first byte, and every read is bounded by the bytes
// held: a directory, entry or value that does not lie wholly inside reads as absent.
//
// The one reader of TIFF structures: the orientation tag, the EXIF thumbnail, the
// multi-picture index and the EXIF overlay's reader (TExifInfo, which adds its own rules for
// values cut off by the block's end) all read through it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

namespace tessaly {

class TiffView {
public:
    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t count = 0;
        std::uint64_t field = 0; // where its 4-byte field (the value, or the value's offset) lies
    };

    // The view of `bytes`, which must start with a TIFF header ("II" or "MM", then 42);
    // nullopt otherwise. The bytes must outlive the view.
    static std::optional<TiffView> Open(std::span<const std::uint8_t> bytes);
    // The view of `bytes` in the byte order given, whatever they start with, for a reader
    // that takes the byte order from the header itself.
    static TiffView Over(std::span<const std::uint8_t> bytes, bool motorola) {
        return TiffView(bytes, motorola);
    }

    bool Motorola() const { return motorola_; }
    std::uint64_t Size() const { return bytes_.size(); }

    // Up to `count` bytes from `offset` on: fewer where the bytes end, none past the end.
    std::span<const std::uint8_t> BytesAt(std::uint64_t offset, std::uint64_t count) const {
        if (offset >= bytes_.size())
            return {};
        return bytes_.subspan(
            static_cast<std::size_t>(offset),
            static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset)));
    }

    std::uint32_t FirstDirectory() const { return U32(4).value_or(0); }

    // The entry of `tag` in the directory at `directory`; nullopt when the directory does
    // not hold it within the bytes.
    std::optional<Entry> Find(std::uint32_t directory, std::uint16_t tag) const;

    // The offset of the directory that the one at `directory` links to; nullopt when it
    // links to none (0) or its link lies outside the bytes.
    std::optional<std::uint32_t> NextDirectory(std::uint32_t directory) const;

    // The first element of a SHORT or LONG entry; nullopt for other types and a count of 0.
    std::optional<std::uint32_t> Number(const Entry& entry) const;

    // Where an entry's value lies (count x the size of its type): in the field when it fits
    // in 4 bytes, else at the offset the field holds. nullopt for an unknown type or a value
    // that does not lie wholly inside the bytes.
    std::optional<std::uint64_t> ValueOffset(const Entry& entry) const;

    // 2 or 4 bytes at `offset` in the block's byte order; nullopt when they do not lie
    // wholly inside.
    std::optional<std::uint16_t> U16(std::uint64_t offset) const;
    std::optional<std::uint32_t> U32(std::uint64_t offset) const;

private:
    TiffView(std::span<const std::uint8_t> bytes, bool motorola)
        : bytes_(bytes), motorola_(motorola) {}
    // Whether the `count` bytes at `offset` lie wholly inside.
    bool Inside(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    // The number of entries of the directory at `directory`, as far as they lie inside.
    std::uint32_t EntriesInside(std::uint32_t directory) const;

    std::span<const std::uint8_t> bytes_;
    bool motorola_;
};

} // namespace tessaly
