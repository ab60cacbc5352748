// The header of a JPEG file and what a decode may cost: JpegInfo, the header read, the limits
// every decode keeps to and the errors it raises. Apart from the decoder (JpegDecoder.h), so
// that code which only asks about a file's header (its colours, its size) needs neither the
// decoder nor libjpeg's headers.
#pragma once

#include "base/RegularFile.h"
#include "picture/Orientation.h"
#include "picture/PictureLimit.h"

#include <array>
#include <cstdint>
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
    // How the picture is shown upright: the true orientation code of the file's EXIF block
    // (jpegfile/ExifBlock.h: its first EXIF APP1 segment before the frame header) as
    // ExifOrientationCode reads it; as stored without one.
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
// - inside a scan, more than kMaxBlockBytes for every block of one row of blocks beyond
//   that bound without a new row of blocks, which no coded data take;
// - more than kMaxMarkerBytes of marker segments in a row (the header before the first scan,
//   or the tables between two scans); an ICC profile of the largest size takes 16 MiB.
// Fill bytes (0xFF before a marker, legal in any number) count towards none of them: they are
// skipped at memory speed, as far as the file goes. A header cut by a bound fails with a
// JpegError that names the bound; a picture cut by one is kept as far as it was decoded (the
// rest grey, as for a truncated file) and DecodeNotes says which bound cut it.
inline constexpr std::uint64_t kMaxBytesWithoutMarker = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxBlockBytes = 1024;
inline constexpr std::uint64_t kMaxMarkerBytes = std::uint64_t{64} << 20;

// What a decode that kept its picture met on the way.
struct DecodeNotes {
    // Why the picture ends early: the bound that cut its data, as a sentence for the user;
    // empty when none did.
    std::string streamCut;
};

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

// Parses the header, with the colour profile from the marker segments before the first scan
// (jpeg/JpegHeaderMarkers.h) and the orientation from the EXIF block; throws JpegError when
// it cannot be read. The file version reads only as far as the header goes (FileReadError when
// reading fails).
JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data);
JpegInfo ReadJpegHeader(const RegularFile& file);

// Throws JpegTooLarge when the picture exceeds kMaxDecodePixels, or when its decoded
// pixels and libjpeg's coefficients together exceed kMaxDecodeBytes.
void CheckDecodable(const JpegInfo& info);

} // namespace tessaly
