// Decoding JPEG files through libjpeg: the header alone, or the pixels as a 24-bit Bitmap,
// at full size or at one of libjpeg's reduced scales, or, to be kept, as the planes libjpeg
// decodes before colour conversion (YccPlanes). Grey-scale files come out in colour,
// CMYK and YCCK files are converted to RGB row by row. libjpeg's errors become C++
// exceptions; its warnings (a truncated or slightly damaged file) do not stop the decode,
// which keeps what it read.
//
// A file is read in small pieces as libjpeg asks for them: the header is checked before
// anything else is read or allocated, and memory is the decoded picture, libjpeg's own
// buffers and a 64 KiB read buffer.
#pragma once

#include "base/RegularFile.h"
#include "jpeg/JpegHeader.h"
#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/YccPlanes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tessaly {

// Decodes the whole picture at scale 1/1 into a 24-bit Bitmap. Throws JpegTooLarge for a
// picture above the limits, JpegError for data libjpeg cannot decode or too many scans,
// and (for a file) FileReadError when it cannot be opened or read or is not a regular file.
Bitmap DecodeJpeg(std::span<const std::uint8_t> data);
// A decode given `stop` gives up with JpegDecodeStopped soon after it is raised (by another
// thread that no longer wants the picture); one given `notes` says there why the picture
// ends early when a bound of JpegHeader.h cut its data (a failure names the bound itself).
Bitmap DecodeJpeg(const RegularFile& file, const std::atomic<bool>* stop = nullptr,
                  DecodeNotes* notes = nullptr);
Bitmap DecodeJpegFile(const std::string& path);

// The whole picture at full size as the viewer keeps it: as planes when YccPlanes::Suits its
// header, else as 24-bit pixels. `info` is the file's header as ReadJpegHeader gave it. The
// same limits and errors as DecodeJpeg, and every pixel reads as DecodeJpeg's.
DecodedPicture DecodeJpegToKeep(const RegularFile& file, const JpegInfo& info,
                                const std::atomic<bool>* stop = nullptr,
                                DecodeNotes* notes = nullptr);
// The same from bytes in memory.
DecodedPicture DecodeJpegToKeep(std::span<const std::uint8_t> data, const JpegInfo& info);

// Bytes of the picture DecodeJpegToKeep gives for a file of header `info`: its planes, or
// its 24-bit pixels.
std::uint64_t KeptBytesFor(const JpegInfo& info);

// The size of the picture decoded at scale eighths/8 (libjpeg rounds up).
int ScaledDimension(int size, int eighths);

// The smallest scale N/8 (N from 1 to 8) at which the decoded picture is at least
// width x height; 8 when even the full size is smaller. Sizes below 1 count as 1.
int ScaleEighthsFor(const JpegInfo& info, int width, int height);

// Decodes the picture at scale eighths/8 (1 to 8; 8 is the full decode, byte for byte).
// `info` is the file's header as ReadJpegHeader gave it (the caller has it to choose the
// scale), so it is not read again. The same limits and errors as DecodeJpeg.
Bitmap DecodeJpegScaled(const RegularFile& file, const JpegInfo& info, int eighths,
                        const std::atomic<bool>* stop = nullptr, DecodeNotes* notes = nullptr);

// The same from bytes in memory, for a picture that only stands in for another, where
// nothing is better than a damaged picture: whatever libjpeg warns about (data cut short,
// corrupt data) throws JpegError instead of keeping what was read.
Bitmap DecodeFlawlessJpegScaled(std::span<const std::uint8_t> data, const JpegInfo& info,
                                int eighths, const std::atomic<bool>* stop = nullptr);

// Receives the rows of a picture as they are decoded: `row` gets each row's blue, green and
// red bytes, top to bottom (the memory is used again for the next row; it must not throw);
// `restart`, when set, is called before each try at the decode, after which the rows given
// before no longer count. Rows the decoder cannot deliver (a file cut short) come as grey.
struct JpegRowSink {
    std::function<void(const std::uint8_t* bgr)> row;
    std::function<void()> restart;
};

// The picture decoded at full size and handed to `sink` row by row, without ever holding the
// whole picture (e.g. into its display copy). `info` as for DecodeJpegScaled; the same limits
// and errors.
void DecodeJpegRows(const RegularFile& file, const JpegInfo& info, const JpegRowSink& sink,
                    const std::atomic<bool>* stop = nullptr);

// Opens the file and decodes it at the smallest scale N/8 that is at least width x height.
Bitmap DecodeJpegFileAtLeast(const std::string& path, int width, int height);

// The planes' layout a file with this header is kept in, or none when it is better decoded to
// 24-bit pixels: 4:4:4 saves nothing, and CMYK, RGB and other samplings are rare.
std::optional<YccPlanes::Layout> PlaneLayoutFor(const JpegInfo& info);
inline bool KeptAsPlanes(const JpegInfo& info) {
    return PlaneLayoutFor(info).has_value();
}

} // namespace tessaly
