// Where the entropy-coded data of a baseline JPEG file restart at the top of a row of MCUs.
//
// The file's marker segments are walked up to its scan, keeping those libjpeg acts on, and
// the scan's data are searched for restart markers the way libjpeg's Huffman decoder meets
// them (0xFF, any fill bytes, then a code that is not 0). A file is indexed only when every
// restart marker the picture calls for is there, numbered in turn, with no other marker
// between them: then libjpeg starts each restart interval afresh (DC predictions, bit
// buffer and out-of-data flag reset) and reads it from the same bytes whichever interval it
// began with, so a decode that begins at any interval gives the rows a decode of the whole
// file gives.
#pragma once

#include "jpeg/JpegInput.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly {
struct JpegInfo;
} // namespace tessaly

namespace tessaly::jpeg_detail {

// A row of iMCUs (the rows of MCUs libjpeg decodes at once) whose data begin with a restart
// interval.
struct RestartRow {
    int row;
    std::uint64_t offset; // where its data begin in the file
    std::uint32_t
        interval; // the interval's number; the marker before it is RST((interval - 1) % 8)
};

struct RestartIndex {
    // The marker segments libjpeg reads before the scan's data, from the start of image to
    // the scan header: JFIF and Adobe segments, tables, frame header, restart interval. Other
    // application segments and comments, which libjpeg skips, are left out.
    std::vector<std::uint8_t> header;
    std::size_t heightAt = 0; // offset in `header` of the frame's height (2 bytes, big-endian)
    int components = 0;
    std::array<int, 3> h{}; // each component's sampling factors, in the frame's order
    std::array<int, 3> v{};
    int maxV = 0;     // an iMCU row is 8 * maxV rows of the picture
    int iMcuRows = 0; // of the whole picture
    unsigned restartInterval = 0;
    // The rows that begin with a restart interval, top to bottom, row 0 first (at the
    // start of the scan's data).
    std::vector<RestartRow> rows;
};

// A baseline (Huffman, 8-bit) file of one or three components in a single scan of all its
// components, with restart markers: its index, or nothing when the file is not of that kind
// or not exactly as libjpeg reads it without recovering from damage (bytes between marker
// segments, a marker libjpeg does not expect there, a restart marker missing or out of
// turn, the data ending before the last restart marker). `info` is the file's header as
// ReadJpegHeader gave it; a frame header that says otherwise gives nothing. The data are
// read through a window of 256 KiB, never held whole.
std::optional<RestartIndex> IndexRestarts(const Input& input, const JpegInfo& info);

} // namespace tessaly::jpeg_detail
