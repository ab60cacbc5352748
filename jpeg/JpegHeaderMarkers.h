// What the header read keeps of the marker segments before the first scan: the segments of an
// embedded ICC colour profile, joined by libjpeg's own reader. Only these are kept, within
// fixed bounds, so that a file of thousands of marker segments costs no memory; every other
// segment is skipped unread. (The EXIF block is read by jpegfile/ExifBlock.h, the one reading
// that the EXIF reader shares.)
//
// C-style, like the codec functions: both calls run inside the header read's setjmp frame.
#pragma once

#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace tessaly::jpeg_detail {

// The largest embedded profile kept: 4 MiB, beyond any RGB or grey profile (a few KiB) and
// the large printer profiles; libjpeg's joining allows up to 255 segments of 65,519 bytes.
inline constexpr std::uint64_t kMaxIccBytes = std::uint64_t{4} << 20;
// The most segments a profile is split into (libjpeg numbers them with one byte).
inline constexpr int kMaxIccSegments = 255;

enum class IccRefusal : int { None, TooManySegments, TooLarge, Unjoinable };

// Plain data, filled while libjpeg reads the header.
struct HeaderMarkers {
    int iccSegments;        // ICC segments kept
    std::uint64_t iccBytes; // their payload bytes
    IccRefusal iccRefusal;
    unsigned char* icc; // the joined profile (malloc'd by libjpeg; the caller frees it)
    unsigned int iccLength;
};

// Before jpeg_read_header: keeps the segments above as they are read. `markers` must live
// until ReadHeaderMarkers; cinfo's client_data points to it.
void WatchHeaderMarkers(j_decompress_ptr cinfo, HeaderMarkers* markers);

// After jpeg_read_header: joins the profile's segments.
void ReadHeaderMarkers(j_decompress_ptr cinfo, HeaderMarkers* markers);

// Why a profile was refused, for the error stream; empty for IccRefusal::None.
const char* IccRefusalText(IccRefusal refusal);

} // namespace tessaly::jpeg_detail
