#include "jpegfile/JpegSegments.h"

#include <array>

namespace tessaly {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Frame headers (SOF0 to SOF15) end the head; DHT, JPG and DAC share their range.
bool IsFrameHeader(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: RST0 to RST7 and TEM.
bool StandsAlone(std::uint8_t marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

} // namespace

std::vector<JpegSegment> ListJpegSegments(const RegularFile& file) {
    std::vector<JpegSegment> segments;
    std::array<std::uint8_t, 16> head{};
    if (file.ReadAt(0, head.data(), 2) != 2 || head[0] != 0xFF || head[1] != kStartOfImage)
        return segments;
    std::uint64_t at = 2;
    for (int step = 0; step < kMaxSegments; ++step) {
        // A marker: 0xFF, any number of 0xFF fill bytes (as many as one read holds), the
        // code; then, for a segment, its big-endian length, which counts itself.
        const std::size_t got = file.ReadAt(at, head.data(), head.size());
        if (got < 2 || head[0] != 0xFF)
            break;
        std::size_t code = 1;
        while (code < got && head[code] == 0xFF)
            ++code;
        if (code >= got)
            break;
        const std::uint8_t marker = head[code];
        if (marker == 0x00 || marker == kStartOfScan || marker == kEndOfImage ||
            IsFrameHeader(marker))
            break;
        if (StandsAlone(marker)) {
            at += code + 1;
            continue;
        }
        if (got - code < 3)
            break;
        const std::uint32_t length = std::uint32_t{head[code + 1]} << 8 | head[code + 2];
        if (length < 2)
            break;
        segments.push_back({marker, at + code + 3, length - 2});
        at += code + 1 + length;
    }
    return segments;
}

std::vector<std::uint8_t> ReadSegmentData(const RegularFile& file, const JpegSegment& segment) {
    std::vector<std::uint8_t> data(segment.size);
    data.resize(file.ReadAt(segment.offset, data.data(), data.size()));
    return data;
}

} // namespace tessaly
