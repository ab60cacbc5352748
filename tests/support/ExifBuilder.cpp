#include "tests/support/ExifBuilder.h"

#include <bit>
#include <stdexcept>

namespace tessaly::fixtures {
namespace {

std::uint32_t ElementSize(std::uint16_t type) {
    switch (type & 0xFF) {
    case tiff::Byte:
    case tiff::Ascii:
    case tiff::SByte:
    case tiff::Undefined:
        return 1;
    case tiff::Short:
    case tiff::SShort:
        return 2;
    case tiff::Long:
    case tiff::SLong:
    case tiff::Float:
        return 4;
    default:
        return 8;
    }
}

class Writer {
public:
    explicit Writer(ByteOrder order) : order_(order) {}
    Bytes& bytes() { return bytes_; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

    void Unit(std::uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            const unsigned shift = order_ == ByteOrder::Intel ? 8 * i : 8 * (width - 1 - i);
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void PatchUnit(std::size_t at, std::uint64_t value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            const unsigned shift = order_ == ByteOrder::Intel ? 8 * i : 8 * (width - 1 - i);
            bytes_[at + i] = static_cast<std::uint8_t>(value >> shift);
        }
    }
    void Align() {
        if (bytes_.size() % 2)
            bytes_.push_back(0);
    }

private:
    ByteOrder order_;
    Bytes bytes_;
};

std::uint32_t DeclaredSize(const TiffEntry& e) {
    return e.count * ElementSize(e.type);
}

// Writes one directory at the writer's end, its long values right after it.
std::uint32_t WriteDirectory(Writer& w, const std::vector<TiffEntry>& entries, std::uint32_t link) {
    const std::uint32_t start = w.size();
    w.Unit(entries.size(), 2);
    std::vector<std::size_t> fields;
    for (const TiffEntry& e : entries) {
        w.Unit(e.tag, 2);
        w.Unit(e.type, 2);
        w.Unit(e.count, 4);
        fields.push_back(w.bytes().size());
        w.Unit(0, 4);
    }
    w.Unit(link, 4);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& e = entries[i];
        if (e.field) {
            w.PatchUnit(fields[i], *e.field, 4);
            continue;
        }
        if (DeclaredSize(e) > 4) {
            w.Align();
            w.PatchUnit(fields[i], w.size(), 4);
            for (const std::uint64_t u : e.units)
                w.Unit(u, e.unitSize);
        } else {
            // In place, left-justified in the 4-byte field.
            std::size_t at = fields[i];
            for (const std::uint64_t u : e.units) {
                if (at + e.unitSize > fields[i] + 4)
                    break;
                w.PatchUnit(at, u, e.unitSize);
                at += e.unitSize;
            }
        }
    }
    return start;
}

std::uint32_t DirectorySize(const TiffDirectory& d) {
    std::uint32_t size = 2 + 12 * static_cast<std::uint32_t>(d.Entries().size()) + 4;
    for (const TiffEntry& e : d.Entries())
        if (!e.field && DeclaredSize(e) > 4)
            size += static_cast<std::uint32_t>(e.units.size() * e.unitSize) + 1;
    return size + size % 2;
}

} // namespace

TiffDirectory& TiffDirectory::Add(TiffEntry entry) {
    entries_.push_back(std::move(entry));
    return *this;
}

TiffDirectory& TiffDirectory::Byte(std::uint16_t tag, std::uint8_t value) {
    return Add({tag, tiff::Byte, 1, {value}, 1, {}});
}

TiffDirectory& TiffDirectory::Ascii(std::uint16_t tag, std::string_view text) {
    std::string withZero(text);
    withZero += '\0';
    return AsciiBytes(tag, withZero);
}

TiffDirectory& TiffDirectory::AsciiBytes(std::uint16_t tag, std::string_view bytes) {
    TiffEntry e{tag, tiff::Ascii, static_cast<std::uint32_t>(bytes.size()), {}, 1, {}};
    for (const char c : bytes)
        e.units.push_back(static_cast<std::uint8_t>(c));
    return Add(std::move(e));
}

TiffDirectory& TiffDirectory::Short(std::uint16_t tag, std::uint16_t value) {
    return Add({tag, tiff::Short, 1, {value}, 2, {}});
}

TiffDirectory& TiffDirectory::Long(std::uint16_t tag, std::uint32_t value) {
    return Add({tag, tiff::Long, 1, {value}, 4, {}});
}

TiffDirectory& TiffDirectory::Rational(std::uint16_t tag, std::uint32_t numerator,
                                       std::uint32_t denominator) {
    return Add({tag, tiff::Rational, 1, {numerator, denominator}, 4, {}});
}

TiffDirectory& TiffDirectory::SByte(std::uint16_t tag, std::int8_t value) {
    return Add({tag, tiff::SByte, 1, {static_cast<std::uint8_t>(value)}, 1, {}});
}

TiffDirectory& TiffDirectory::Undefined(std::uint16_t tag, const Bytes& bytes) {
    TiffEntry e{tag, tiff::Undefined, static_cast<std::uint32_t>(bytes.size()), {}, 1, {}};
    e.units.assign(bytes.begin(), bytes.end());
    return Add(std::move(e));
}

TiffDirectory& TiffDirectory::SShort(std::uint16_t tag, std::int16_t value) {
    return Add({tag, tiff::SShort, 1, {static_cast<std::uint16_t>(value)}, 2, {}});
}

TiffDirectory& TiffDirectory::SLong(std::uint16_t tag, std::int32_t value) {
    return Add({tag, tiff::SLong, 1, {static_cast<std::uint32_t>(value)}, 4, {}});
}

TiffDirectory& TiffDirectory::SRational(std::uint16_t tag, std::int32_t numerator,
                                        std::int32_t denominator) {
    return Add({tag,
                tiff::SRational,
                1,
                {static_cast<std::uint32_t>(numerator), static_cast<std::uint32_t>(denominator)},
                4,
                {}});
}

TiffDirectory& TiffDirectory::Float(std::uint16_t tag, float value) {
    return Add({tag, tiff::Float, 1, {std::bit_cast<std::uint32_t>(value)}, 4, {}});
}

TiffDirectory& TiffDirectory::Double(std::uint16_t tag, double value) {
    return Add({tag, tiff::Double, 1, {std::bit_cast<std::uint64_t>(value)}, 8, {}});
}

TiffDirectory& TiffDirectory::Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                                  std::uint32_t field) {
    return Add({tag, type, count, {}, 1, field});
}

TiffDirectory& TiffDirectory::Link(std::uint32_t offset) {
    link_ = offset;
    return *this;
}

ExifBuilder& ExifBuilder::Thumbnail(Bytes jpeg) {
    thumbnail_ = std::move(jpeg);
    return *this;
}

ExifBuilder& ExifBuilder::ByteOrderMark(std::uint8_t first, std::uint8_t second) {
    mark_ = std::array<std::uint8_t, 2>{first, second};
    return *this;
}

Bytes ExifBuilder::Build(TiffLayout* layoutOut) const {
    // Complete the directories with the pointers and links the layout needs.
    TiffDirectory ifd0 = ifd0_;
    TiffDirectory exif = exif_;
    TiffDirectory ifd1 = ifd1_;
    const bool hasInterop = !interop_.Empty();
    const bool hasExif = !exif.Empty() || hasInterop;
    const bool hasThumbnail = !thumbnail_.empty();
    const bool hasIfd1 = !ifd1.Empty() || hasThumbnail;
    if (hasExif)
        ifd0.Long(34665, 0);
    if (hasInterop)
        exif.Long(40965, 0);
    if (hasThumbnail) {
        ifd1.Long(513, 0);
        ifd1.Long(514, static_cast<std::uint32_t>(thumbnail_.size()));
    }

    TiffLayout layout;
    std::uint32_t at = 8;
    layout.ifd0 = at;
    at += DirectorySize(ifd0);
    if (hasExif) {
        layout.exif = at;
        at += DirectorySize(exif);
    }
    if (hasInterop) {
        layout.interop = at;
        at += DirectorySize(interop_);
    }
    if (hasIfd1) {
        layout.ifd1 = at;
        at += DirectorySize(ifd1);
    }
    if (hasThumbnail)
        layout.thumbnail = at;

    // Now that the places are known, point at them.
    auto setPointer = [](TiffDirectory& dir, std::uint16_t tag, std::uint32_t value) {
        TiffDirectory fixed;
        for (TiffEntry e : dir.Entries()) {
            if (e.tag == tag && e.type == tiff::Long && e.units.size() == 1 && e.units[0] == 0)
                e.units[0] = value;
            fixed.Add(std::move(e));
        }
        if (dir.LinkOverride())
            fixed.Link(*dir.LinkOverride());
        dir = fixed;
    };
    if (hasExif)
        setPointer(ifd0, 34665, layout.exif);
    if (hasInterop)
        setPointer(exif, 40965, layout.interop);
    if (hasThumbnail)
        setPointer(ifd1, 513, layout.thumbnail);

    Writer w(order_);
    if (mark_) {
        w.bytes().push_back((*mark_)[0]);
        w.bytes().push_back((*mark_)[1]);
    } else {
        const std::uint8_t m = order_ == ByteOrder::Intel ? 'I' : 'M';
        w.bytes().push_back(m);
        w.bytes().push_back(m);
    }
    w.Unit(42, 2);
    w.Unit(layout.ifd0, 4);
    auto write = [&](const TiffDirectory& dir, std::uint32_t expected, std::uint32_t link) {
        w.bytes().resize(expected, 0); // directories start where the layout put them
        WriteDirectory(w, dir.Entries(), dir.LinkOverride().value_or(link));
    };
    write(ifd0, layout.ifd0, layout.ifd1);
    if (hasExif)
        write(exif, layout.exif, 0);
    if (hasInterop)
        write(interop_, layout.interop, 0);
    if (hasIfd1)
        write(ifd1, layout.ifd1, 0);
    if (hasThumbnail) {
        w.bytes().resize(layout.thumbnail, 0);
        w.bytes().insert(w.bytes().end(), thumbnail_.begin(), thumbnail_.end());
    }
    if (layoutOut)
        *layoutOut = layout;
    return w.bytes();
}

Bytes JpegWithExif(const Bytes& tiff) {
    Bytes file = {0xFF, 0xD8};
    const Bytes segment = ExifSegment(tiff);
    file.insert(file.end(), segment.begin(), segment.end());
    file.push_back(0xFF);
    file.push_back(0xD9);
    return file;
}

Bytes OrientationSegment(std::uint16_t code) {
    ExifBuilder exif(ByteOrder::Intel);
    exif.Ifd0().Short(274, code);
    return ExifSegment(exif.Build());
}

Bytes CommentSegment(std::size_t size) {
    if (size < 4 || size > 0xFFFF + 2)
        throw std::invalid_argument("a COM segment holds 4 to 65537 bytes");
    Bytes seg(size, 0);
    seg[0] = 0xFF;
    seg[1] = 0xFE;
    seg[2] = static_cast<std::uint8_t>((size - 2) >> 8);
    seg[3] = static_cast<std::uint8_t>((size - 2) & 0xFF);
    return seg;
}

} // namespace tessaly::fixtures
