// How far libjpeg may read through data without structure before the stream is taken to end.
//
// libjpeg's marker reader skips every byte that is not a marker while it looks for the next
// one, and its entropy decoders swallow any run of 0xFF bytes: both read on to the end of
// the data, however large, before the frame header, between marker segments, between scans,
// at a restart marker and after the last scan. The source manager watches what the decoder
// does with the bytes it hands out and ends the stream (as if the file ended there) where it
// would search on beyond the bounds in JpegHeader.h, and notes which bound it was, so that
// the decode can say why the picture ends early. Fill bytes (0xFF before a marker, legal in
// any number) do not count towards the bounds: libjpeg skips them at memory speed, and they
// end with the data at the latest. A picture that decoded completely keeps every row.
//
// Plain data and functions that never throw: they run inside libjpeg's callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace tessaly::jpeg_detail {

// Which bound ended the stream.
enum class StreamBound : int {
    None,
    NoMarker,       // kMaxBytesWithoutMarker where a marker was due
    NoRow,          // inside a scan, the bytes allowed for a row of blocks
    MarkerSegments, // kMaxMarkerBytes of marker segments in a row
};

// Set to zero before the first byte is handed out.
struct StreamBounds {
    std::uint64_t lastSign;    // stream offset of the decoder's last sign of progress
    std::uint64_t markersFrom; // stream offset where the current run of marker segments began
    std::uint64_t fill;        // fill bytes handed out so far
    std::uint64_t fillAtSign;  // `fill` at lastSign and at markersFrom
    std::uint64_t fillAtMarkers;
    int scan; // the decoder's scan and row of blocks at the last look
    unsigned int row;
    int inScan;      // the decoder was reading a scan's coded data at the last look
    int afterFF;     // the last byte handed out was 0xFF, so the next may complete a marker
    StreamBound hit; // the bound that ended the stream, if one did
};

// What a bound's end of the stream says to the user: which bound was hit; empty for None.
const char* StreamBoundText(StreamBound bound);

// Whether the stream goes on at offset `at`, where libjpeg asks for more data: false (with
// the bound noted in `hit`) once the decoder has read too far, fill bytes not counted,
// without a sign of progress (a marker, a new row of blocks, a new scan) or through too many
// marker segments in a row.
bool StreamGoesOn(j_decompress_ptr cinfo, StreamBounds& bounds, std::uint64_t at);

// Notes the markers and fill bytes among `count` bytes handed to libjpeg from stream offset
// `at`.
void NoteHandedBytes(StreamBounds& bounds, const JOCTET* bytes, std::size_t count,
                     std::uint64_t at);

} // namespace tessaly::jpeg_detail
