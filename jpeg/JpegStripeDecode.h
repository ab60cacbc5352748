// libjpeg's side of a decode in stripes (JpegStripes.h): one stripe of a baseline file with
// restart markers is decoded from a stream of its own, the file's marker segments with the
// frame's height set to the stripe's, then the file's data from the restart interval the
// stripe begins with, its restart markers numbered anew from 0 as libjpeg expects them in a
// file that begins with that interval. As in JpegDecoder.cpp, the libjpeg calls live in
// C-style functions over plain data inside a setjmp frame.
#pragma once

#include "jpeg/JpegErrorManager.h"
#include "jpeg/JpegInput.h"
#include "jpeg/JpegPlaneRows.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tessaly::jpeg_detail {

// What libjpeg makes of a stripe's marker segments, set to decode 24-bit rows at a scale.
struct StripeHeaderFacts {
    int width;
    int height;
    int components;
    int colorSpace; // J_COLOR_SPACE of the file
    int outWidth;   // the output at the scale
    int outHeight;
    // The chroma upsampling at that scale is libjpeg's "fancy" filter reaching across rows,
    // which takes its neighbours from the iMCU rows above and below.
    bool contextRows;
};

// Reads the marker segments `header` (from the start of image to the scan header) with
// libjpeg; false when libjpeg refuses them or they are not one sequential Huffman scan of
// all components with restart interval `interval`.
bool ProbeStripeHeader(std::span<const std::uint8_t> header, int eighths, unsigned interval,
                       StripeHeaderFacts& facts);

// The stripe's stream: the file's stream, handed on a piece at a time (kReadBuffer bytes)
// through a buffer of its own, where the restart markers are renumbered.
struct StripeSource {
    StreamSource stream;                     // first member: libjpeg sees stream.pub
    boolean (*fill)(j_decompress_ptr cinfo); // the file stream's own
    JOCTET* piece;                           // kReadBuffer bytes
    int markerShift; // the file's number of the stripe's first interval, modulo 8
    int afterFF;     // the last byte handed out was 0xFF
};

// Renumbers the restart markers among `count` bytes of the stream: each 0xFF, any fill
// bytes after it, then a code; a restart marker's number is taken `shift` down. `afterFF`
// carries a 0xFF at the end of one piece of the stream to the next.
void RenumberRestarts(JOCTET* bytes, std::size_t count, int shift, int& afterFF);

// One stripe's decode. Plain data only: it is used inside libjpeg's setjmp frame.
struct StripeJob {
    // The stream: `header`, then the file's data from `dataAt` on.
    const unsigned char* header;
    std::size_t headerSize;
    std::uint64_t dataAt;
    int width; // the stripe picture as its header says: the file's width, the stripe's rows
    int height;
    unsigned restartInterval;
    int eighths; // 1 to 8: 24-bit rows at scale eighths/8; 0: planes before colour conversion
    const std::atomic<bool>* stop;
    std::uint64_t libjpegMemory; // what libjpeg may allocate
    // 24-bit rows: the stripe picture's first `skipRows` rows go to `scratch` (a row) and are
    // dropped, the next `keptRows` go to `pixels` on, `stride` bytes apart.
    unsigned char* pixels;
    std::size_t stride;
    int outWidth;
    int skipRows;
    int keptRows;
    unsigned char* scratch;
    // Planes: the stripe picture's rows, its first row of each component at planes.base[i].
    PlaneRows planes;
    int rowsDone;       // out: the rows (of the output, or of the luma plane) written
    int markersChanged; // out: a restart marker was not the one planned
};

enum class StripeStatus { Ok, Failed, ReadFailed, Stopped, Mismatch };

// Decodes the stripe; src->stream is a fresh stream over the file's data (Input::Source).
StripeStatus DecodeStripeC(StripeSource* src, StripeJob* job, ErrorManager* err);

} // namespace tessaly::jpeg_detail
