// Decoding JPEG files through libjpeg: the header alone, or the pixels at full size as a
// 24-bit Bitmap. Grey-scale files come out in colour, CMYK and YCCK files are converted
// to RGB after decoding. libjpeg's errors become C++ exceptions; its warnings (a
// truncated or slightly damaged file) do not stop the decode, which keeps what it read.
#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace tessaly {

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    bool grayscale = false; // one component
    bool cmyk = false;      // four components (CMYK or YCCK)
};

// Largest picture the viewer decodes: 2^28 pixels (268,435,456, 768 MiB decoded), far above
// any camera or phone photo; a header declaring more is refused before anything is allocated.
inline constexpr std::uint64_t kMaxDecodePixels = std::uint64_t{1} << 28;
// A progressive file with more scans than this is refused instead of decoded, so that a
// hostile file of thousands of tiny scans cannot keep the decoder busy.
inline constexpr int kMaxProgressiveScans = 300;

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

// Parses the header; throws JpegError when it cannot be read.
JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data);

// Throws JpegTooLarge when the picture exceeds kMaxDecodePixels.
void CheckDecodable(const JpegInfo& info);

// Decodes the whole picture at scale 1/1 into a 24-bit Bitmap. Throws JpegTooLarge for a
// picture above the limit, JpegError for data libjpeg cannot decode (or too many scans).
Bitmap DecodeJpeg(std::span<const std::uint8_t> data);

} // namespace tessaly
