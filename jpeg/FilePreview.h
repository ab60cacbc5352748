// A file's own preview, decoded to stand in for its picture until the picture itself is
// decoded: the best of the places FindFilePreviews (jpegfile/FilePreviews.h) finds that is a
// JPEG picture of the picture's shape, decoded at libjpeg's reduced scale for the size it is
// shown at. Only ever a stand-in: a preview that is damaged or of another shape is not used.
#pragma once

#include "base/FilePart.h"
#include "base/RegularFile.h"
#include "jpeg/JpegDecoder.h"
#include "picture/Bitmap.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

namespace tessaly {

struct FilePreview {
    // Decoded at the scale chosen for the asked size, as the file stores it (not turned).
    Bitmap pixels;
    // The preview's own size.
    int width = 0;
    int height = 0;
};

// A preview takes at most this many bytes of the file; a large thumbnail takes well under 2 MiB.
inline constexpr std::uint64_t kMaxPreviewBytes = 8 << 20;
// At most this many of the places are looked at, in their order.
inline constexpr std::size_t kMaxPreviewPlaces = 4;

// Whether a preview of previewWidth x previewHeight has the shape of a picture of
// width x height: its aspect (width / height) differs from the picture's by at most 1 % of
// the picture's.
bool SameAspect(int previewWidth, int previewHeight, int width, int height);

// The preview of the file at the best of `places` for a picture shown at width x height
// (sizes as the file stores the picture, not turned), `picture` the file's header as
// ReadJpegHeader gave it. A place is used only when its bytes lie inside the file and are
// at most kMaxPreviewBytes, read as a JPEG smaller than the picture and of its shape
// (SameAspect), and decode without damage. Among those the smallest that is at least
// width x height is taken, else the largest; it is decoded at libjpeg's smallest scale N/8
// that is not below width x height. A place whose decode at that scale would hold more than
// maxBytes at its peak (its pixels and, for a file in several scans, libjpeg's coefficients
// of the whole preview) is not used. nullopt when no place gives one. Throws
// JpegDecodeStopped soon after `stop` is raised.
std::optional<FilePreview> DecodeFilePreview(const RegularFile& file,
                                             std::span<const FilePart> places,
                                             const JpegInfo& picture, int width, int height,
                                             const std::atomic<bool>* stop = nullptr,
                                             std::uint64_t maxBytes = UINT64_MAX);

} // namespace tessaly
