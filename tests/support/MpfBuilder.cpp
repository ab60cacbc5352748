#include "tests/support/MpfBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace tessaly::fixtures {
namespace {

struct EntryFields {
    std::uint32_t attribute = 0;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
};

// The APP2 segment: "MPF\0", then a TIFF block whose first directory holds the version,
// the number of pictures and their entries (16 bytes each: attribute, size, offset and two
// dependent-picture numbers, here 0).
Bytes IndexSegment(const std::vector<EntryFields>& entries, ByteOrder order) {
    TiffEntry list{0xB002, tiff::Undefined, static_cast<std::uint32_t>(16 * entries.size()), {}, 4,
                   {}};
    for (const EntryFields& e : entries)
        list.units.insert(list.units.end(), {e.attribute, e.size, e.offset, 0});
    ExifBuilder block(order);
    block.Ifd0()
        .Undefined(0xB000, {'0', '1', '0', '0'})
        .Long(0xB001, static_cast<std::uint32_t>(entries.size()))
        .Add(std::move(list));
    return AppSegment(0xE2, std::string_view("MPF\0", 4), block.Build());
}

} // namespace

Bytes MpfSegment(std::size_t pictures, ByteOrder order) {
    return IndexSegment(std::vector<EntryFields>(pictures + 1), order);
}

Bytes AddMpfPictures(Bytes primary, const std::vector<MpfPicture>& pictures, ByteOrder order) {
    const Bytes placeholder = MpfSegment(pictures.size(), order);
    const auto at =
        std::search(primary.begin(), primary.end(), placeholder.begin(), placeholder.end());
    if (at == primary.end())
        throw std::invalid_argument("the primary picture holds no index of that many pictures");
    // Offsets count from the TIFF header, after the marker, length and "MPF\0".
    const std::size_t header = static_cast<std::size_t>(at - primary.begin()) + 8;
    std::vector<EntryFields> entries = {
        {kMpfPrimary, static_cast<std::uint32_t>(primary.size()), 0}};
    std::size_t end = primary.size();
    for (const MpfPicture& picture : pictures) {
        entries.push_back({picture.attribute,
                           picture.size.value_or(static_cast<std::uint32_t>(picture.jpeg.size())),
                           picture.offset.value_or(static_cast<std::uint32_t>(end - header))});
        end += picture.jpeg.size();
    }
    const Bytes index = IndexSegment(entries, order);
    std::copy(index.begin(), index.end(), at);
    for (const MpfPicture& picture : pictures)
        primary.insert(primary.end(), picture.jpeg.begin(), picture.jpeg.end());
    return primary;
}

} // namespace tessaly::fixtures
