// Saving pictures as JPEG files: the JPEG writer, which holds the picture, its compression
// quality and the compressed stream, and SaveJpegFile, which turns a compression level into
// a quality and writes the file.
#pragma once

#include "picture/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace tessaly {

// The most profile bytes libjpeg embeds: 255 APP2 segments of 65,519 bytes.
inline constexpr std::size_t kMaxEmbeddedProfileBytes = std::size_t{255} * 65519;

// How a stream is laid out beyond its quality. The default: one baseline scan of three
// components with the colour at half the resolution both ways (4:2:0).
struct JpegLayout {
    // Luminance samples for each colour sample across and down (1 to 4): 2, 2 for 4:2:0,
    // 2, 1 for 4:2:2, 1, 1 keeps the colour whole.
    int lumaH = 2;
    int lumaV = 2;
    bool grey = false;        // one grey component (the picture's green channel), no colour
    bool progressive = false; // progressive scans instead of one baseline scan
};

// Compresses one picture to a JPEG stream with libjpeg.
class JpegWriter {
public:
    JpegWriter() = default;
    explicit JpegWriter(Bitmap bitmap) : bitmap_(std::move(bitmap)) {}

    // Replaces the picture; the compressed stream is dropped.
    void Assign(Bitmap bitmap);
    const Bitmap& Picture() const { return bitmap_; }

    // The ICC colour profile embedded unchanged in the stream (the source picture's, so the
    // colours keep their meaning); empty for none, which leaves the stream as without it.
    // A profile of more than libjpeg's 255 segments (kMaxEmbeddedProfileBytes) throws
    // std::invalid_argument.
    void SetIccProfile(std::vector<std::uint8_t> profile);
    const std::vector<std::uint8_t>& IccProfile() const { return icc_; }

    std::uint8_t CompressionQuality() const { return quality_; }
    void SetCompressionQuality(std::uint8_t quality) { quality_ = quality; }

    // Factors out of 1 to 4 throw std::invalid_argument.
    void SetLayout(const JpegLayout& layout);
    const JpegLayout& Layout() const { return layout_; }

    // Compresses the picture with libjpeg into Stream(): laid out as Layout() says (unless set,
    // a baseline, three-component colour JPEG, even of a grey picture) with the floating-point
    // DCT and the quality tables of CompressionQuality() (0 counts as 1, above 100 as 100),
    // and the ICC profile in APP2 segments when there is one. An empty picture leaves the stream
    // empty. Throws JpegError (jpeg/JpegDecoder.h) when libjpeg fails.
    void Compress();
    const std::vector<std::uint8_t>& Stream() const { return stream_; }

private:
    Bitmap bitmap_;
    std::uint8_t quality_ = 90;
    JpegLayout layout_;
    std::vector<std::uint8_t> icc_;
    std::vector<std::uint8_t> stream_;
};

// The quality of a compression level: Trunc(sqrt(sqrt(level / 0.099)) x pi x 10) in
// extended precision, keeping its low 8 bits (level 8 gives 94). A negative level throws
// std::invalid_argument.
std::uint8_t JpegQualityForLevel(int level);

// Sets the quality for `level`, compresses, then writes the stream to `fileName` through a
// temporary file, so that a failure leaves an existing file untouched. Throws JpegError
// when compression fails (nothing is written) and FileCreateError
// (base/FileReplace.h) when the file cannot be created or written.
void SaveJpegFile(JpegWriter& jpeg, const std::filesystem::path& fileName, int level);

} // namespace tessaly
