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

} // namespace

bool StreamGoesOn(j_decompress_ptr cinfo, StreamBounds& bounds, std::uint64_t at) {
    // libjpeg reads a scan's coded data from the scan's header until its last row of blocks.
    const bool inScan =
        cinfo->total_iMCU_rows > 0 && cinfo->input_iMCU_row < cinfo->total_iMCU_rows;
    if (cinfo->input_scan_number != bounds.scan || cinfo->input_iMCU_row != bounds.row ||
        static_cast<int>(inScan) != bounds.inScan) {
        if (!inScan && bounds.inScan)
            bounds.markersFrom = at; // the scan's data ended; marker segments follow
        bounds.scan = cinfo->input_scan_number;
        bounds.row = cinfo->input_iMCU_row;
        bounds.inScan = inScan ? 1 : 0;
        bounds.lastSign = std::max(bounds.lastSign, at);
    }
    if (!inScan && at - bounds.markersFrom > kMaxMarkerBytes)
        return false;
    const std::uint64_t allowed =
        kMaxBytesWithoutMarker + (inScan ? RowBlocks(cinfo) * kMaxBlockBytes : 0);
    return at - bounds.lastSign <= allowed;
}

void NoteHandedBytes(StreamBounds& bounds, const JOCTET* bytes, std::size_t count,
                     std::uint64_t at) {
    if (count == 0)
        return;
    // Inside a scan a new row of blocks is the sign of progress; markers count between scans.
    if (!bounds.inScan) {
        if (bounds.afterFF && IsMarkerCode(bytes[0]))
            bounds.lastSign = std::max(bounds.lastSign, at - 1);
        // The last marker among the bytes: its 0xFF lies before the last byte.
        for (std::size_t end = count - 1; end > 0;) {
            const void* found = ::memrchr(bytes, 0xFF, end);
            if (found == nullptr)
                break;
            const auto i = static_cast<std::size_t>(static_cast<const JOCTET*>(found) - bytes);
            if (IsMarkerCode(bytes[i + 1])) {
                bounds.lastSign = std::max(bounds.lastSign, at + i);
                break;
            }
            end = i;
        }
    }
    bounds.afterFF = bytes[count - 1] == 0xFF ? 1 : 0;
}

} // namespace tessaly::jpeg_detail
