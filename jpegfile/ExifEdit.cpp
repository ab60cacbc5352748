#include "jpegfile/ExifEdit.h"

#include "jpegfile/ExifThumbnail.h"
#include "jpegfile/TiffView.h"

#include <algorithm>
#include <cstring>

namespace tessaly {
namespace {

constexpr std::uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::size_t kTiffStart = sizeof kExifId;
constexpr std::size_t kEntryBytes = 12;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kExifDirectoryTag = 0x8769;
constexpr std::uint16_t kPixelXTag = 0xA002;
constexpr std::uint16_t kPixelYTag = 0xA003;
constexpr std::uint16_t kThumbnailOffsetTag = 513;
constexpr std::uint16_t kThumbnailLengthTag = 514;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

std::span<const std::uint8_t> TiffOf(std::span<const std::uint8_t> data) {
    return data.size() < kTiffStart ? std::span<const std::uint8_t>() : data.subspan(kTiffStart);
}

bool Motorola(std::span<const std::uint8_t> data) {
    return data.size() > kTiffStart && data[kTiffStart] == 'M';
}

// Writes in the block's byte order at an offset from the TIFF header; the caller has made
// sure the bytes lie inside.
void Put(ExifData& data, std::size_t tiffOffset, std::uint32_t value, std::size_t size) {
    const bool motorola = Motorola(data);
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t shift = 8 * (motorola ? size - 1 - i : i);
        data[kTiffStart + tiffOffset + i] = static_cast<std::uint8_t>(value >> shift);
    }
}

// Writes a SHORT or LONG entry's first value in its field; false when the type is neither or
// the value does not fit.
bool PutNumber(ExifData& data, const TiffView::Entry& entry, std::uint32_t value) {
    if (entry.count == 0)
        return false;
    if (entry.type == kShort && value <= 0xFFFF)
        Put(data, entry.field, value, 2);
    else if (entry.type == kLong)
        Put(data, entry.field, value, 4);
    else
        return false;
    return true;
}

// The bytes of the first directory (count, entries, link), when they lie wholly inside.
std::optional<std::span<const std::uint8_t>> FirstDirectory(const TiffView& view,
                                                            std::span<const std::uint8_t> tiff) {
    const std::uint32_t at = view.FirstDirectory();
    const std::optional<std::uint16_t> count = view.U16(at);
    if (!count)
        return std::nullopt;
    const std::uint64_t size = 2 + kEntryBytes * *count + 4;
    if (at > tiff.size() || size > tiff.size() - at)
        return std::nullopt;
    return tiff.subspan(at, size);
}

// Pads the block to an even length, since TIFF offsets are word-aligned.
void PadEven(ExifData& data) {
    if ((data.size() - kTiffStart) % 2 != 0)
        data.push_back(0);
}

} // namespace

bool IsExifData(std::span<const std::uint8_t> data) {
    return data.size() >= kTiffStart && std::memcmp(data.data(), kExifId, kTiffStart) == 0 &&
           TiffView::Open(TiffOf(data)).has_value();
}

std::optional<std::size_t> OrientationValueOffset(std::span<const std::uint8_t> data) {
    if (!IsExifData(data))
        return std::nullopt;
    const TiffView view = *TiffView::Open(TiffOf(data));
    const std::optional<TiffView::Entry> entry = view.Find(view.FirstDirectory(), kOrientationTag);
    if (!entry || entry->type != kShort || entry->count != 1)
        return std::nullopt;
    return kTiffStart + entry->field;
}

std::array<std::uint8_t, 2> ShortBytes(std::span<const std::uint8_t> data, std::uint16_t value) {
    const auto high = static_cast<std::uint8_t>(value >> 8);
    const auto low = static_cast<std::uint8_t>(value);
    return Motorola(data) ? std::array{high, low} : std::array{low, high};
}

std::optional<ExifData> WithOrientation(std::span<const std::uint8_t> data, std::uint16_t code) {
    if (!IsExifData(data))
        return std::nullopt;
    ExifData result(data.begin(), data.end());
    if (const std::optional<std::size_t> at = OrientationValueOffset(data)) {
        Put(result, *at - kTiffStart, code, 2);
        return result;
    }
    const std::span<const std::uint8_t> tiff = TiffOf(data);
    const TiffView view = *TiffView::Open(tiff);
    const std::optional<std::span<const std::uint8_t>> old = FirstDirectory(view, tiff);
    if (!old)
        return std::nullopt;
    // The entries as they are, sorted by tag, with the orientation's (a SHORT) in its place.
    std::vector<std::span<const std::uint8_t>> entries;
    const std::size_t count = (old->size() - 6) / kEntryBytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> entry = old->subspan(2 + kEntryBytes * i, kEntryBytes);
        if (view.U16(view.FirstDirectory() + 2 + kEntryBytes * i) != kOrientationTag)
            entries.push_back(entry);
    }
    if (entries.size() >= 0xFFFF)
        return std::nullopt;
    PadEven(result);
    const std::size_t directory = result.size() - kTiffStart;
    const std::size_t size = 2 + kEntryBytes * (entries.size() + 1) + 4;
    if (result.size() + size > kMaxSegmentData)
        return std::nullopt;
    result.resize(result.size() + size, 0);
    Put(result, directory, static_cast<std::uint32_t>(entries.size() + 1), 2);
    std::size_t at = directory + 2;
    bool placed = false;
    const auto putOrientation = [&] {
        Put(result, at, kOrientationTag, 2);
        Put(result, at + 2, kShort, 2);
        Put(result, at + 4, 1, 4);
        Put(result, at + 8, code, 2);
        at += kEntryBytes;
        placed = true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = view.FirstDirectory() + 2 + kEntryBytes * i;
        const std::uint16_t tag = view.U16(from).value_or(0);
        if (tag == kOrientationTag)
            continue;
        if (!placed && tag > kOrientationTag)
            putOrientation();
        std::copy_n(tiff.begin() + static_cast<std::ptrdiff_t>(from), kEntryBytes,
                    result.begin() + static_cast<std::ptrdiff_t>(kTiffStart + at));
        at += kEntryBytes;
    }
    if (!placed)
        putOrientation();
    // The link to IFD1 as it was.
    std::copy_n(old->end() - 4, 4, result.begin() + static_cast<std::ptrdiff_t>(kTiffStart + at));
    Put(result, 4, static_cast<std::uint32_t>(directory), 4);
    return result;
}

ExifData MinimalExifData(std::uint16_t code) {
    // "Exif\0\0"; "II", 42, the first directory at 8; one entry; no next directory.
    const auto low = static_cast<std::uint8_t>(code);
    const auto high = static_cast<std::uint8_t>(code >> 8);
    return {'E',  'x',  'i',    'f', 0, 0, 'I', 'I', 42,  0,    8, 0, 0, 0, 1, 0,
            0x12, 0x01, kShort, 0,   1, 0, 0,   0,   low, high, 0, 0, 0, 0, 0, 0};
}

namespace {

std::optional<std::uint32_t> ExifDirectory(const TiffView& view) {
    const std::optional<TiffView::Entry> pointer =
        view.Find(view.FirstDirectory(), kExifDirectoryTag);
    return pointer ? view.Number(*pointer) : std::nullopt;
}

} // namespace

std::optional<PixelDimensions> ReadPixelDimensions(std::span<const std::uint8_t> data) {
    if (!IsExifData(data))
        return std::nullopt;
    const TiffView view = *TiffView::Open(TiffOf(data));
    const std::optional<std::uint32_t> directory = ExifDirectory(view);
    if (!directory)
        return std::nullopt;
    const std::optional<TiffView::Entry> x = view.Find(*directory, kPixelXTag);
    const std::optional<TiffView::Entry> y = view.Find(*directory, kPixelYTag);
    const std::optional<std::uint32_t> width = x ? view.Number(*x) : std::nullopt;
    const std::optional<std::uint32_t> height = y ? view.Number(*y) : std::nullopt;
    if (!width || !height)
        return std::nullopt;
    return PixelDimensions{*width, *height};
}

bool SetPixelDimensions(ExifData& data, PixelDimensions dimensions) {
    if (!ReadPixelDimensions(data))
        return false;
    const TiffView view = *TiffView::Open(TiffOf(data));
    const std::uint32_t directory = *ExifDirectory(view);
    const TiffView::Entry x = *view.Find(directory, kPixelXTag);
    const TiffView::Entry y = *view.Find(directory, kPixelYTag);
    const auto fits = [](const TiffView::Entry& entry, std::uint32_t value) {
        return entry.type == kLong || value <= 0xFFFF;
    };
    if (!fits(x, dimensions.width) || !fits(y, dimensions.height))
        return false;
    return PutNumber(data, x, dimensions.width) && PutNumber(data, y, dimensions.height);
}

std::optional<std::span<const std::uint8_t>>
ExifThumbnailBytes(std::span<const std::uint8_t> data) {
    if (!IsExifData(data))
        return std::nullopt;
    const std::optional<FilePart> part = FindExifThumbnail(TiffOf(data));
    if (!part)
        return std::nullopt;
    return TiffOf(data).subspan(part->offset, part->size);
}

std::optional<ExifData> WithThumbnail(std::span<const std::uint8_t> data,
                                      std::span<const std::uint8_t> jpeg) {
    if (!ExifThumbnailBytes(data))
        return std::nullopt;
    const std::span<const std::uint8_t> tiff = TiffOf(data);
    const TiffView view = *TiffView::Open(tiff);
    const FilePart part = *FindExifThumbnail(tiff);
    const std::uint32_t ifd1 = *view.NextDirectory(view.FirstDirectory());
    const TiffView::Entry offsetEntry = *view.Find(ifd1, kThumbnailOffsetTag);
    const TiffView::Entry lengthEntry = *view.Find(ifd1, kThumbnailLengthTag);
    ExifData result(data.begin(), data.end());
    std::uint64_t at = part.offset;
    if (jpeg.size() <= part.size) {
        std::fill_n(result.begin() + static_cast<std::ptrdiff_t>(kTiffStart + part.offset),
                    part.size, 0);
    } else {
        PadEven(result);
        at = result.size() - kTiffStart;
        if (result.size() + jpeg.size() > kMaxSegmentData)
            return std::nullopt;
        result.resize(result.size() + jpeg.size());
    }
    std::copy(jpeg.begin(), jpeg.end(),
              result.begin() + static_cast<std::ptrdiff_t>(kTiffStart + at));
    if (!PutNumber(result, offsetEntry, static_cast<std::uint32_t>(at)) ||
        !PutNumber(result, lengthEntry, static_cast<std::uint32_t>(jpeg.size())))
        return std::nullopt;
    return result;
}

ExifData WithoutThumbnail(std::span<const std::uint8_t> data) {
    ExifData result(data.begin(), data.end());
    if (!IsExifData(data))
        return result;
    const std::span<const std::uint8_t> tiff = TiffOf(data);
    const TiffView view = *TiffView::Open(tiff);
    const std::optional<std::span<const std::uint8_t>> first = FirstDirectory(view, tiff);
    if (!first)
        return result;
    const std::optional<FilePart> part = FindExifThumbnail(tiff);
    const auto link = static_cast<std::size_t>(first->data() + first->size() - 4 - tiff.data());
    Put(result, link, 0, 4);
    if (part && part->offset + part->size == tiff.size())
        result.resize(kTiffStart + part->offset);
    return result;
}

} // namespace tessaly
