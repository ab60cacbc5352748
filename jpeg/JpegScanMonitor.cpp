#include "jpeg/JpegScanMonitor.h"

#include "jpeg/JpegHeader.h"

#include <csetjmp>

namespace tessaly::jpeg_detail {

extern "C" void OnProgress(j_common_ptr cinfo) {
    auto* monitor = reinterpret_cast<ScanMonitor*>(cinfo->progress);
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (monitor->stop != nullptr && monitor->stop->load(std::memory_order_relaxed)) {
        monitor->err->scanLimitHit = 3;
        std::longjmp(monitor->err->jump, 1);
    }
    if (dinfo->input_scan_number == monitor->lastScan)
        return;
    monitor->lastScan = dinfo->input_scan_number;
    if (dinfo->input_scan_number > kMaxScans) {
        monitor->err->scanLimitHit = 1;
        std::longjmp(monitor->err->jump, 1);
    }
    for (int i = 0; i < dinfo->comps_in_scan; ++i) {
        const jpeg_component_info* comp = dinfo->cur_comp_info[i];
        monitor->blocksVisited +=
            static_cast<std::uint64_t>(comp->width_in_blocks) * comp->height_in_blocks;
    }
    if (monitor->blocksVisited > monitor->blocksAllowed) {
        monitor->err->scanLimitHit = 2;
        std::longjmp(monitor->err->jump, 1);
    }
}

std::uint64_t PictureBlocks(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo.num_components; ++i)
        blocks += static_cast<std::uint64_t>(cinfo.comp_info[i].width_in_blocks) *
                  cinfo.comp_info[i].height_in_blocks;
    return blocks;
}

} // namespace tessaly::jpeg_detail
