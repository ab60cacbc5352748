// Builders of JPEG fixtures for tests and samples: pictures made from patterns and
// encoded with libjpeg, with chosen marker segments placed after the start of image.
#pragma once

#include "picture/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::fixtures {

using Bytes = std::vector<std::uint8_t>;

struct JpegOptions {
    int quality = 90;
    bool jfif = true; // write the 18-byte JFIF APP0 right after the start of image
    bool progressive = false;
    bool grayscale = false;  // one component
    bool cmyk = false;       // four components, Adobe-style inverted inks
    bool arithmetic = false; // arithmetic coding instead of Huffman
    // The first component's sampling, the others' 1 x 1; 0 keeps libjpeg's (2 x 2, 4:2:0).
    int lumaH = 0;
    int lumaV = 0;
    bool rgbComponents = false; // red, green and blue stored as they are, not as YCbCr
    int restartRows = 0;        // a restart marker every this many MCU rows
    int restartMcus = 0;        // or every this many MCUs
    // Whole marker segments (0xFF, marker, length, payload) written after SOI/JFIF, in order.
    std::vector<Bytes> segments;
};

// A picture whose pixels differ from place to place: a smooth colour gradient with a
// pattern, so that cuts, scaling and decoding can be checked.
Bitmap GradientBitmap(int width, int height, unsigned seed = 0);

// A picture with the detail of a photograph (smooth shapes with grain), so that it
// compresses and decodes like one: about 1.6 bits a pixel at quality 90.
Bitmap PhotoLikeBitmap(int width, int height);

// The rows of PhotoLikeBitmap(width, height) one at a time, asked for top to bottom.
class PhotoLikeRows {
public:
    PhotoLikeRows(int width, int height);
    void operator()(int y, std::uint8_t* bgr);

private:
    int width_;
    int height_;
    std::uint32_t seed_ = 12345;
};

// Writes row y of a picture into `bgr` (blue, green, red); rows are asked for top to bottom.
using RowMaker = std::function<void(int y, std::uint8_t* bgr)>;

// A picture of one colour.
Bitmap SolidBitmap(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red);

// Encodes the bitmap (its blue, green, red bytes) as a JPEG.
Bytes EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options = {});

// Encodes a width x height picture made row by row as a JPEG, without holding the picture.
Bytes EncodeJpegRows(int width, int height, const RowMaker& rows, const JpegOptions& options = {});

// Encodes a width x height picture made row by row as a JPEG file, without holding the
// picture: for pictures too large to keep in memory.
void WriteJpegFile(const std::filesystem::path& path, int width, int height, const RowMaker& rows,
                   const JpegOptions& options = {});

// Offset of the first byte after the header of the file's first scan (0 when it has none).
std::size_t FirstScanData(const Bytes& jpeg);

// Offsets of the restart markers in the data of the file's first scan.
std::vector<std::size_t> RestartMarkers(const Bytes& jpeg);

// The file's frame header rewritten for a picture of width x height, and everything after
// the header of its first scan dropped: a file of a few hundred bytes for a huge picture,
// read as one whose scans are empty.
Bytes HeaderOnly(Bytes jpeg, int width, int height);

// A marker segment: 0xFF, the marker, the length, then `id` and `payload`.
Bytes AppSegment(std::uint8_t marker, std::string_view id, const Bytes& payload);

// An APP1 segment holding "Exif\0\0" followed by the given TIFF bytes.
Bytes ExifSegment(const Bytes& tiff);

// The APP2 segments of an embedded ICC profile: "ICC_PROFILE", a zero byte, the segment's
// number (from 1) and the number of segments, then at most `piece` bytes of the profile
// (65,519 fills a segment).
std::vector<Bytes> IccSegments(const Bytes& profile, std::size_t piece = 65519);

// Writes bytes to a file, creating parent folders; throws on failure.
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// A fresh empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "tessaly-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace tessaly::fixtures
