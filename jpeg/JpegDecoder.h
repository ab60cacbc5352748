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
#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/Orientation.h"
#include "picture/PictureLimit.h"
#include "picture/YccPlanes.h"

#include <array>
#include <optional>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    bool grayscale = false; // one component
    bool cmyk = false;      // four components (CMYK or YCCK)
    bool ycc = false;       // three components libjpeg takes for YCbCr
    // How many samples of each component (the first four) an MCU holds across and down; the
    // components with fewer than the most are stored at reduced resolution. 0 past the last.
    struct Sampling {
        int h = 0;
        int v = 0;
        bool operator==(const Sampling&) const = default;
    };
    std::array<Sampling, 4> sampling{};
    // Bytes libjpeg keeps for the whole picture while it decodes: the coefficients of every
    // block (2 bytes a sample) when the file has several scans, 0 otherwise.
    std::uint64_t coefficientBytes = 0;
    // MCUs between restart markers, as a DRI segment before the first scan sets it; 0 without.
    unsigned restartInterval = 0;
    // How the picture is shown upright: the orientation code of the first EXIF segment's
    // first directory; as stored without one.
    Orientation orientation = Orientation::AsStored;
    // The embedded ICC colour profile as libjpeg joins it from its APP2 segments: empty when
    // the file has none, or when it was refused, and then iccProblem says why (too large, or
    // segments that do not fit together).
    std::vector<std::uint8_t> iccProfile;
    std::string iccProblem;
};

// What a decode may hold at once: the decoded pixels and, for a file in several scans,
// libjpeg's coefficients (2 bytes a sample, kept until the last scan) together at most the
// decoded size of the largest picture, 768 MiB; a file that needs more is refused as too
// large. libjpeg's other buffers (a few rows) may take kDecodeMargin more.
inline constexpr std::uint64_t kMaxDecodeBytes = kMaxDecodePixels * 3;
inline constexpr std::uint64_t kDecodeMargin = std::uint64_t{64} << 20;
// A file with more scans than this is refused instead of decoded, so that a hostile file of
// thousands of tiny scans cannot keep the decoder busy.
inline constexpr int kMaxScans = 300;
// The scans of a file may visit the picture's blocks (all components) at most this many
// times over; a normal progressive file visits them about five times. Empty scans cost
// time without adding anything, so a file of many scans over a large picture is refused
// once its scans exceed this, whatever the file's size.
inline constexpr int kMaxScanPasses = 64;
// Where the stream is taken to end as if the file ended there, so that libjpeg, which skips
// anything while it looks for a marker, never reads on through gigabytes of garbage:
// - more than kMaxBytesWithoutMarker bytes without a marker where markers are due (before
//   the frame header, between marker segments, between scans and after the last scan);
//   fill bytes (0xFF) count as such bytes;
// - inside a scan, more than kMaxBlockBytes for every block of one row of blocks beyond
//   that bound without a new row of blocks, which no coded data take;
// - more than kMaxMarkerBytes of marker segments in a row (the header before the first scan,
//   or the tables between two scans); an ICC profile of the largest size takes 16 MiB.
inline constexpr std::uint64_t kMaxBytesWithoutMarker = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxBlockBytes = 1024;
inline constexpr std::uint64_t kMaxMarkerBytes = std::uint64_t{64} << 20;

// A decode stopped because its caller raised the stop flag; no picture.
class JpegDecodeStopped : public std::exception {
public:
    const char* what() const noexcept override { return "decode stopped"; }
};

// The data are not a readable JPEG (libjpeg's message says why).
class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The header is fine but the picture is too large to decode in memory.
class JpegTooLarge : public JpegError {
public:
    JpegTooLarge(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
};

// Parses the header, with the orientation and the colour profile from the marker segments
// before the first scan (jpeg/JpegHeaderMarkers.h); throws JpegError when it cannot be
// read. The file version reads only as far as the header goes (FileReadError when reading
// fails).
JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data);
JpegInfo ReadJpegHeader(const RegularFile& file);

// Throws JpegTooLarge when the picture exceeds kMaxDecodePixels, or when its decoded
// pixels and libjpeg's coefficients together exceed kMaxDecodeBytes.
void CheckDecodable(const JpegInfo& info);

// Decodes the whole picture at scale 1/1 into a 24-bit Bitmap. Throws JpegTooLarge for a
// picture above the limits, JpegError for data libjpeg cannot decode or too many scans,
// and (for a file) FileReadError when it cannot be opened or read or is not a regular file.
Bitmap DecodeJpeg(std::span<const std::uint8_t> data);
// A decode given `stop` gives up with JpegDecodeStopped soon after it is raised (by another
// thread that no longer wants the picture).
Bitmap DecodeJpeg(const RegularFile& file, const std::atomic<bool>* stop = nullptr);
Bitmap DecodeJpegFile(const std::string& path);

// The whole picture at full size as the viewer keeps it: as planes when YccPlanes::Suits its
// header, else as 24-bit pixels. `info` is the file's header as ReadJpegHeader gave it. The
// same limits and errors as DecodeJpeg, and every pixel reads as DecodeJpeg's.
DecodedPicture DecodeJpegToKeep(const RegularFile& file, const JpegInfo& info,
                                const std::atomic<bool>* stop = nullptr);
// The same from bytes in memory.
DecodedPicture DecodeJpegToKeep(std::span<const std::uint8_t> data, const JpegInfo& info);

// The size of the picture decoded at scale eighths/8 (libjpeg rounds up).
int ScaledDimension(int size, int eighths);

// The smallest scale N/8 (N from 1 to 8) at which the decoded picture is at least
// width x height; 8 when even the full size is smaller. Sizes below 1 count as 1.
int ScaleEighthsFor(const JpegInfo& info, int width, int height);

// Decodes the picture at scale eighths/8 (1 to 8; 8 is the full decode, byte for byte).
// `info` is the file's header as ReadJpegHeader gave it (the caller has it to choose the
// scale), so it is not read again. The same limits and errors as DecodeJpeg.
Bitmap DecodeJpegScaled(const RegularFile& file, const JpegInfo& info, int eighths,
                        const std::atomic<bool>* stop = nullptr);

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
inline bool KeptAsPlanes(const JpegInfo& info) { return PlaneLayoutFor(info).has_value(); }

} // namespace tessaly
