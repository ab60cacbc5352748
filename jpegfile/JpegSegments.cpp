#include "jpegfile/JpegSegments.h"

#include <algorithm>
#include <array>

namespace tessaly {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Fill bytes are read in pieces of this size once the first small read holds only them.
constexpr std::size_t kFillPiece = 64 * 1024;

} // namespace

ReadBytesAt ReaderOf(const RegularFile& file) {
    return [&file](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        return file.ReadAt(offset, out, count);
    };
}

std::optional<JpegMarker> ReadJpegMarker(const ReadBytesAt& read, std::uint64_t at) {
    std::array<std::uint8_t, 16> head{};
    std::size_t got = read(at, head.data(), head.size());
    if (got < 2 || head[0] != 0xFF)
        return std::nullopt;
    // The fill bytes: the first read holds the usual case, a marker without any.
    std::uint64_t codeAt = at + 1;
    std::size_t i = 1;
    while (i < got && head[i] == 0xFF)
        ++i;
    if (i == got) {
        std::vector<std::uint8_t> piece(kFillPiece);
        codeAt = at + got;
        for (;;) {
            const std::size_t n = read(codeAt, piece.data(), piece.size());
            const auto end = piece.begin() + static_cast<std::ptrdiff_t>(n);
            const auto code =
                std::find_if(piece.begin(), end, [](std::uint8_t b) { return b != 0xFF; });
            codeAt += static_cast<std::uint64_t>(code - piece.begin());
            if (code != end)
                break;
            if (n < piece.size())
                return std::nullopt; // the data end among fill bytes
        }
        got = read(codeAt, head.data(), 3);
        if (got < 1)
            return std::nullopt;
        i = 0;
    } else {
        codeAt = at + i;
        if (got - i < 3 && got == head.size()) {
            // The code and its length after fill bytes that fill the first read.
            got = read(codeAt, head.data(), 3);
            i = 0;
        }
    }
    JpegMarker marker;
    marker.code = head[i];
    marker.codeAt = codeAt;
    if (marker.code == 0x00)
        return std::nullopt;
    if (StandsAlone(marker.code)) {
        marker.standsAlone = true;
        marker.dataAt = codeAt + 1;
        return marker;
    }
    if (got - i < 3)
        return std::nullopt;
    const std::uint32_t length = std::uint32_t{head[i + 1]} << 8 | head[i + 2];
    if (length < 2)
        return std::nullopt;
    marker.dataAt = codeAt + 3;
    marker.size = length - 2;
    return marker;
}

std::vector<JpegSegment> ListJpegSegments(const ReadBytesAt& read) {
    std::vector<JpegSegment> segments;
    std::array<std::uint8_t, 2> soi{};
    if (read(0, soi.data(), 2) != 2 || soi[0] != 0xFF || soi[1] != kStartOfImage)
        return segments;
    std::uint64_t at = 2;
    for (int step = 0; step < kMaxSegments; ++step) {
        const std::optional<JpegMarker> marker = ReadJpegMarker(read, at);
        if (!marker || marker->code == kStartOfScan || marker->code == kEndOfImage ||
            IsFrameHeader(marker->code))
            break;
        if (!marker->standsAlone)
            segments.push_back({marker->code, marker->dataAt, marker->size});
        at = marker->Next();
    }
    return segments;
}

std::vector<JpegSegment> ListJpegSegments(const RegularFile& file) {
    return ListJpegSegments(ReaderOf(file));
}

std::vector<std::uint8_t> ReadSegmentData(const ReadBytesAt& read, const JpegSegment& segment) {
    std::vector<std::uint8_t> data(segment.size);
    data.resize(read(segment.offset, data.data(), data.size()));
    return data;
}

std::vector<std::uint8_t> ReadSegmentData(const RegularFile& file, const JpegSegment& segment) {
    return ReadSegmentData(ReaderOf(file), segment);
}

} // namespace tessaly
