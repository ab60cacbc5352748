#include "jpeg/JpegStreamBounds.h"

#include "jpeg/JpegHeader.h"

#include <algorithm>
#include <cstring>

namespace tessaly::jpeg_detail {
namespace {

// Blocks in one row of blocks of the whole picture (every component, padded to whole MCUs
// as coded): the most one row of any scan holds.
std::uint64_t RowBlocks(j_decompress_ptr cinfo) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& comp = cinfo->comp_info[i];
        const auto h = static_cast<std::uint64_t>(std::max(comp.h_samp_factor, 1));
        blocks +=
            (comp.width_in_blocks + h - 1) / h * h * static_cast<std::uint64_t>(comp.v_samp_factor);
    }
    return blocks;
}

// A marker: 0xFF followed by a code that is neither a stuffed zero nor another fill byte.
bool IsMarkerCode(JOCTET code) {
    return code != 0x00 && code != 0xFF;
}

// Fill bytes among bytes[from, to): a 0xFF followed by another 0xFF. The last byte, whose
// follower is not handed out yet, is counted with the next bytes.
std::uint64_t CountFill(const JOCTET* bytes, std::size_t from, std::size_t to) {
    std::uint64_t fill = 0;
    for (std::size_t i = from; i + 1 < to; ++i)
        fill += bytes[i] == 0xFF && bytes[i + 1] == 0xFF;
    return fill;
}

} // namespace

const char* StreamBoundText(StreamBound bound) {
    switch (bound) {
    case StreamBound::None:
        return "";
    case StreamBound::NoMarker:
        return "the data were cut after 1 MiB without a marker where one was due";
    case StreamBound::NoRow:
        return "the data were cut inside a scan after 1 MiB and 1 KiB per block of a row "
               "without a new row of blocks";
    case StreamBound::MarkerSegments:
        return "the data were cut after 64 MiB of marker segments in a row";
    }
    return "";
}

bool StreamGoesOn(j_decompress_ptr cinfo, StreamBounds& bounds, std::uint64_t at) {
    // libjpeg reads a scan's coded data from the scan's header until its last row of blocks.
    const bool inScan =
        cinfo->total_iMCU_rows > 0 && cinfo->input_iMCU_row < cinfo->total_iMCU_rows;
    if (cinfo->input_scan_number != bounds.scan || cinfo->input_iMCU_row != bounds.row ||
        static_cast<int>(inScan) != bounds.inScan) {
        if (!inScan && bounds.inScan) {
            bounds.markersFrom = at; // the scan's data ended; marker segments follow
            bounds.fillAtMarkers = bounds.fill;
        }
        bounds.scan = cinfo->input_scan_number;
        bounds.row = cinfo->input_iMCU_row;
        bounds.inScan = inScan ? 1 : 0;
        if (at > bounds.lastSign) {
            bounds.lastSign = at;
            bounds.fillAtSign = bounds.fill;
        }
    }
    // The bytes from `from` to `at` less the fill bytes among them (counted since `fillThen`;
    // the one before a mark may be among them, hence the floor).
    const auto without = [&](std::uint64_t from, std::uint64_t fillThen) {
        const std::uint64_t span = at - from;
        return span - std::min(span, bounds.fill - fillThen);
    };
    if (!inScan && without(bounds.markersFrom, bounds.fillAtMarkers) > kMaxMarkerBytes) {
        bounds.hit = StreamBound::MarkerSegments;
        return false;
    }
    const std::uint64_t allowed =
        kMaxBytesWithoutMarker + (inScan ? RowBlocks(cinfo) * kMaxBlockBytes : 0);
    if (without(bounds.lastSign, bounds.fillAtSign) <= allowed)
        return true;
    bounds.hit = inScan ? StreamBound::NoRow : StreamBound::NoMarker;
    return false;
}

void NoteHandedBytes(StreamBounds& bounds, const JOCTET* bytes, std::size_t count,
                     std::uint64_t at) {
    if (count == 0)
        return;
    // The last byte handed out before, 0xFF, was a fill byte when another follows it.
    if (bounds.afterFF && bytes[0] == 0xFF)
        ++bounds.fill;
    // Inside a scan a new row of blocks is the sign of progress; markers count between scans.
    std::size_t split = 0; // the fill bytes before the last marker count before its sign
    if (!bounds.inScan) {
        if (bounds.afterFF && IsMarkerCode(bytes[0]) && at - 1 > bounds.lastSign) {
            bounds.lastSign = at - 1;
            bounds.fillAtSign = bounds.fill;
        }
        // The last marker among the bytes: its 0xFF lies before the last byte.
        for (std::size_t end = count - 1; end > 0;) {
            const void* found = ::memrchr(bytes, 0xFF, end);
            if (found == nullptr)
                break;
            const auto i = static_cast<std::size_t>(static_cast<const JOCTET*>(found) - bytes);
            if (IsMarkerCode(bytes[i + 1])) {
                bounds.fill += CountFill(bytes, 0, i + 1);
                split = i + 1;
                if (at + i > bounds.lastSign) {
                    bounds.lastSign = at + i;
                    bounds.fillAtSign = bounds.fill;
                }
                break;
            }
            end = i;
        }
    }
    bounds.fill += CountFill(bytes, split, count);
    bounds.afterFF = bytes[count - 1] == 0xFF ? 1 : 0;
}

} // namespace tessaly::jpeg_detail
