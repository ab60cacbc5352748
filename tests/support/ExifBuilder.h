// A builder of TIFF / EXIF blocks for tests and samples: IFD0, the Exif directory, IFD1 and
// the interoperability directory, in either byte order, with entries of any tag, type and
// count. Offsets are computed: the Exif and interoperability pointers are added when those
// directories have entries, IFD0 links to IFD1 when IFD1 has entries, and values longer
// than 4 bytes go to a data area after their directory. Hostile layouts are made with
// raw value fields, declared counts larger than the data, and link overrides.
// Combine with ExifSegment() and EncodeJpeg's `segments` (JpegFixtures.h), or JpegWithExif.
#pragma once

#include "tests/support/JpegFixtures.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly::fixtures {

enum class ByteOrder { Intel, Motorola };

// TIFF field types.
namespace tiff {
inline constexpr std::uint16_t Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SByte = 6,
                               Undefined = 7, SShort = 8, SLong = 9, SRational = 10, Float = 11,
                               Double = 12;
} // namespace tiff

struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;            // the count written, whatever the data hold
    std::vector<std::uint64_t> units;   // the value, written unit by unit in the byte order
    unsigned unitSize = 1;              // bytes per unit: 1, 2, 4 or 8
    std::optional<std::uint32_t> field; // a raw value field written instead (offset or value)
};

class TiffDirectory {
public:
    TiffDirectory& Add(TiffEntry entry);
    TiffDirectory& Byte(std::uint16_t tag, std::uint8_t value);
    // The text and a terminating zero; the count covers both.
    TiffDirectory& Ascii(std::uint16_t tag, std::string_view text);
    // The bytes exactly as given, without a terminating zero.
    TiffDirectory& AsciiBytes(std::uint16_t tag, std::string_view bytes);
    TiffDirectory& Short(std::uint16_t tag, std::uint16_t value);
    TiffDirectory& Long(std::uint16_t tag, std::uint32_t value);
    TiffDirectory& Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator);
    TiffDirectory& SByte(std::uint16_t tag, std::int8_t value);
    TiffDirectory& Undefined(std::uint16_t tag, const Bytes& bytes);
    TiffDirectory& SShort(std::uint16_t tag, std::int16_t value);
    TiffDirectory& SLong(std::uint16_t tag, std::int32_t value);
    TiffDirectory& SRational(std::uint16_t tag, std::int32_t numerator, std::int32_t denominator);
    TiffDirectory& Float(std::uint16_t tag, float value);
    TiffDirectory& Double(std::uint16_t tag, double value);
    // Any tag, type and count with a value field of 4 raw bytes (an offset or a value).
    TiffDirectory& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                       std::uint32_t field);

    // The link to the next directory written instead of the computed one (offset from the
    // TIFF header; 0 ends the chain).
    TiffDirectory& Link(std::uint32_t offset);

    bool Empty() const { return entries_.empty(); }
    const std::vector<TiffEntry>& Entries() const { return entries_; }
    const std::optional<std::uint32_t>& LinkOverride() const { return link_; }

private:
    std::vector<TiffEntry> entries_;
    std::optional<std::uint32_t> link_;
};

// Where the parts of a built block start, as offsets from the TIFF header (0: absent).
struct TiffLayout {
    std::uint32_t ifd0 = 0, exif = 0, interop = 0, ifd1 = 0, thumbnail = 0;
};

class ExifBuilder {
public:
    explicit ExifBuilder(ByteOrder order = ByteOrder::Intel) : order_(order) {}

    TiffDirectory& Ifd0() { return ifd0_; }
    TiffDirectory& Exif() { return exif_; }
    TiffDirectory& Interop() { return interop_; }
    TiffDirectory& Ifd1() { return ifd1_; }

    // Bytes of a thumbnail, stored after IFD1; IFD1 gets JPEGInterchangeFormat (513) and
    // JPEGInterchangeFormatLength (514) pointing at them.
    ExifBuilder& Thumbnail(Bytes jpeg);

    // The byte-order mark written instead of "II" or "MM" (the byte order of the values
    // stays the builder's).
    ExifBuilder& ByteOrderMark(std::uint8_t first, std::uint8_t second);

    // The TIFF block: header, directories and their data.
    Bytes Build(TiffLayout* layout = nullptr) const;

private:
    ByteOrder order_;
    std::optional<std::array<std::uint8_t, 2>> mark_;
    TiffDirectory ifd0_, exif_, interop_, ifd1_;
    Bytes thumbnail_;
};

// A file holding the start of image, the EXIF APP1 segment right after it (offset 2), and
// the end of image: all the EXIF reader needs.
Bytes JpegWithExif(const Bytes& tiff);

// An EXIF APP1 segment whose first directory holds the orientation `code` (a SHORT), as
// cameras write it; for EncodeJpeg's `segments`.
Bytes OrientationSegment(std::uint16_t code);

// A COM segment of `size` bytes in total (at least 4), its payload zeros: a spacer that
// moves the segments after it.
Bytes CommentSegment(std::size_t size);

} // namespace tessaly::fixtures
