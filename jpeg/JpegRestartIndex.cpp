#include "jpeg/JpegRestartIndex.h"

#include "jpeg/JpegHeader.h"
#include "jpegfile/JpegSegments.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

namespace tessaly::jpeg_detail {

namespace {

// Marker codes (the byte after 0xFF).
constexpr int kSof0 = 0xC0; // baseline
constexpr int kSof1 = 0xC1; // extended sequential, Huffman
constexpr int kDht = 0xC4;
constexpr int kSoi = 0xD8;
constexpr int kSos = 0xDA;
constexpr int kDqt = 0xDB;
constexpr int kDri = 0xDD;
constexpr int kApp0 = 0xE0;
constexpr int kApp14 = 0xEE;
constexpr int kApp15 = 0xEF;
constexpr int kCom = 0xFE;
constexpr int kRst0 = 0xD0;

// The segments kept for libjpeg take at most this much; a header of more tables than any
// encoder writes is decoded in one piece.
constexpr std::size_t kMaxHeader = 256 * 1024;

constexpr std::size_t kWindow = 256 * 1024;

// The data read through a window that moves forward as they are asked for.
class ByteReader {
public:
    explicit ByteReader(const Input& input) : input_(input), window_(kWindow) {}

    // The bytes from `offset` on that the window holds, after moving it there when it does
    // not hold that byte; empty at the end of the data.
    std::span<const std::uint8_t> From(std::uint64_t offset) {
        if (offset < at_ || offset - at_ >= size_) {
            at_ = offset;
            size_ = input_.Read(offset, window_.data(), window_.size());
        }
        const auto skip = static_cast<std::size_t>(offset - at_);
        return {window_.data() + skip, size_ - skip};
    }

    // The byte at `offset`, or -1 past the end of the data.
    int At(std::uint64_t offset) {
        const std::span<const std::uint8_t> bytes = From(offset);
        return bytes.empty() ? -1 : bytes[0];
    }

    // Appends bytes [offset, offset + count) to `out`; false when the data end before.
    bool Append(std::uint64_t offset, std::size_t count, std::vector<std::uint8_t>& out) {
        while (count > 0) {
            const std::span<const std::uint8_t> bytes = From(offset);
            if (bytes.empty())
                return false;
            const std::size_t n = std::min(count, bytes.size());
            out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            offset += n;
            count -= n;
        }
        return true;
    }

private:
    const Input& input_;
    std::vector<std::uint8_t> window_;
    std::uint64_t at_ = 0;
    std::size_t size_ = 0;
};

int Big16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] << 8 | bytes[at + 1];
}

// The frame header's payload: precision, height, width, components with their sampling.
bool ReadFrame(std::span<const std::uint8_t> frame, const JpegInfo& info, RestartIndex& index) {
    if (frame.size() < 6)
        return false;
    const int components = frame[5];
    if (frame.size() != 6 + 3 * static_cast<std::size_t>(components) || frame[0] != 8 ||
        Big16(frame, 1) != info.height || Big16(frame, 3) != info.width ||
        components != info.components || (components != 1 && components != 3))
        return false;
    index.components = components;
    for (int i = 0; i < components; ++i) {
        const int factors = frame[6 + 3 * static_cast<std::size_t>(i) + 1];
        const int h = factors >> 4;
        const int v = factors & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            return false;
        if (JpegInfo::Sampling{h, v} != info.sampling[static_cast<std::size_t>(i)])
            return false;
        index.h[static_cast<std::size_t>(i)] = h;
        index.v[static_cast<std::size_t>(i)] = v;
        index.maxV = std::max(index.maxV, v);
    }
    return true;
}

// The scan header's payload: all components, sequential (whole spectrum, no approximation).
bool ReadScan(std::span<const std::uint8_t> scan, int components) {
    if (scan.empty() || scan[0] != components)
        return false;
    const std::size_t n = scan[0];
    return scan.size() == 4 + 2 * n && scan[1 + 2 * n] == 0 && scan[2 + 2 * n] == 63 &&
           scan[3 + 2 * n] == 0;
}

// Walks the marker segments from the start of image to the scan header, keeping the ones
// libjpeg acts on in index.header; returns the offset of the scan's data, or 0 when the
// segments are not those of a file to index.
std::uint64_t ReadSegments(const Input& input, ByteReader& in, const JpegInfo& info,
                           RestartIndex& index) {
    if (in.At(0) != 0xFF || in.At(1) != kSoi)
        return 0;
    const ReadBytesAt read = [&input](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        return input.Read(offset, out, count);
    };
    index.header = {0xFF, kSoi};
    bool sawFrame = false;
    std::uint64_t at = 2;
    for (;;) {
        // Not a marker where one is due: bytes between segments, which libjpeg skips with a
        // warning, or the data's end.
        const std::optional<JpegMarker> marker = ReadJpegMarker(read, at);
        if (!marker || marker->standsAlone)
            return 0;
        const int code = marker->code;
        const std::size_t length = std::size_t{marker->size} + 2;
        const bool kept = code == kApp0 || code == kApp14 || code == kDqt || code == kDht ||
                          code == kDri || code == kSof0 || code == kSof1 || code == kSos;
        const bool skipped = (code > kApp0 && code <= kApp15) || code == kCom;
        if (!kept && !skipped)
            return 0; // another kind of frame, arithmetic coding, or a marker out of place
        if (kept) {
            const std::size_t start = index.header.size();
            if (start + 2 + length > kMaxHeader)
                return 0;
            index.header.push_back(0xFF);
            index.header.push_back(static_cast<std::uint8_t>(code));
            if (!in.Append(marker->codeAt + 1, length, index.header))
                return 0;
            const std::span<const std::uint8_t> payload(index.header.data() + start + 4,
                                                        length - 2);
            if (code == kSof0 || code == kSof1) {
                if (sawFrame || !ReadFrame(payload, info, index))
                    return 0;
                sawFrame = true;
                index.heightAt = start + 5;
            } else if (code == kDri) {
                if (payload.size() != 2)
                    return 0;
                index.restartInterval = static_cast<unsigned>(Big16(payload, 0));
            } else if (code == kSos) {
                if (!sawFrame || !ReadScan(payload, index.components))
                    return 0;
                return marker->Next();
            }
        }
        at = marker->Next();
    }
}

// Finds the restart markers of the scan's data from `data` on and records where the rows
// that begin an interval begin. false when a marker is missing, out of turn or not a
// restart marker, or the data end before the last one.
bool FindRestarts(ByteReader& in, std::uint64_t data, std::uint64_t mcusPerRow, std::uint64_t mcus,
                  RestartIndex& index) {
    const std::uint64_t interval = index.restartInterval;
    const std::uint64_t markers = (mcus + interval - 1) / interval - 1;
    index.rows = {{0, data, 0}};
    // The next row that begins an interval, and that interval.
    int row = 1;
    std::uint64_t rowInterval = 0;
    const auto nextRow = [&] {
        for (; row < index.iMcuRows; ++row)
            if (row * mcusPerRow % interval == 0) {
                rowInterval = row * mcusPerRow / interval;
                return;
            }
        rowInterval = 0;
    };
    nextRow();
    std::uint64_t found = 0;
    std::uint64_t at = data;
    while (found < markers) {
        const std::span<const std::uint8_t> bytes = in.From(at);
        if (bytes.empty())
            return false;
        const void* ff = std::memchr(bytes.data(), 0xFF, bytes.size());
        if (ff == nullptr) {
            at += bytes.size();
            continue;
        }
        at += static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(ff) - bytes.data());
        int code;
        while ((code = in.At(++at)) == 0xFF) {
        }
        ++at; // past the code
        if (code < 0)
            return false;
        if (code == 0)
            continue; // a stuffed 0xFF data byte
        if (code != kRst0 + static_cast<int>(found % 8))
            return false;
        ++found;
        if (found == rowInterval) {
            index.rows.push_back({row, at, static_cast<std::uint32_t>(found)});
            ++row;
            nextRow();
        }
    }
    return true;
}

} // namespace

std::optional<RestartIndex> IndexRestarts(const Input& input, const JpegInfo& info) {
    if (info.progressive || info.cmyk || info.coefficientBytes != 0 || info.width < 1 ||
        info.height < 1)
        return std::nullopt;
    ByteReader in(input);
    RestartIndex index;
    const std::uint64_t data = ReadSegments(input, in, info, index);
    if (data == 0 || index.restartInterval == 0)
        return std::nullopt;
    const auto width = static_cast<std::uint64_t>(info.width);
    const auto height = static_cast<std::uint64_t>(info.height);
    const int maxH = *std::max_element(index.h.begin(), index.h.begin() + index.components);
    const auto rowHeight = static_cast<std::uint64_t>(8 * index.maxV);
    index.iMcuRows = static_cast<int>((height + rowHeight - 1) / rowHeight);
    // The MCUs of a row of iMCUs, and of the picture: a scan of several components has one
    // row of MCUs of 8 maxH x 8 maxV pixels per iMCU row; a scan of one component has MCUs
    // of one block, its sampling's rows of blocks per iMCU row.
    std::uint64_t mcusPerRow;
    std::uint64_t mcus;
    if (index.components > 1) {
        mcusPerRow = (width + 8 * static_cast<std::uint64_t>(maxH) - 1) / (8 * maxH);
        mcus = mcusPerRow * static_cast<std::uint64_t>(index.iMcuRows);
    } else {
        const std::uint64_t blocksWide = (width + 7) / 8;
        mcusPerRow = blocksWide * static_cast<std::uint64_t>(index.maxV);
        mcus = blocksWide * ((height + 7) / 8);
    }
    if (!FindRestarts(in, data, mcusPerRow, mcus, index))
        return std::nullopt;
    return index;
}

} // namespace tessaly::jpeg_detail
