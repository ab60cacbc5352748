// The progress monitor of a decode: it ends the decode when its caller raises the stop flag,
// and when the file's scans exceed the limits of JpegHeader.h.
#pragma once

#include "jpeg/JpegErrorManager.h"

#include <atomic>
#include <cstdint>

namespace tessaly::jpeg_detail {

// Counts the blocks the scans visit against the work allowed for the picture.
struct ScanMonitor {
    jpeg_progress_mgr pub; // first member: libjpeg sees only this
    ErrorManager* err;
    const std::atomic<bool>* stop;
    int lastScan;
    std::uint64_t blocksVisited;
    std::uint64_t blocksAllowed;
};

extern "C" void OnProgress(j_common_ptr cinfo);

// Every block of every component, once.
std::uint64_t PictureBlocks(const jpeg_decompress_struct& cinfo);

} // namespace tessaly::jpeg_detail
