#include "jpeg/FilePreview.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tessaly {
namespace {

struct Candidate {
    FilePart place;
    JpegInfo info;
};

// The bytes at `place`, when they lie wholly inside the file and are not too many.
std::optional<std::vector<std::uint8_t>> ReadPlace(const RegularFile& file, const FilePart& place) {
    if (place.size == 0 || place.size > kMaxPreviewBytes)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(place.size));
    try {
        if (file.ReadAt(place.offset, bytes.data(), bytes.size()) != bytes.size())
            return std::nullopt;
    } catch (const FileReadError&) {
        return std::nullopt;
    }
    return bytes;
}

// Whether a preview of this header can stand in for the picture: smaller, and of its shape.
bool StandsInFor(const JpegInfo& preview, const JpegInfo& picture) {
    return preview.width <= picture.width && preview.height <= picture.height &&
           (preview.width < picture.width || preview.height < picture.height) &&
           SameAspect(preview.width, preview.height, picture.width, picture.height);
}

// What decoding the preview for width x height holds at its peak.
std::uint64_t PeakBytes(const JpegInfo& preview, int width, int height) {
    const int eighths = ScaleEighthsFor(preview, width, height);
    return static_cast<std::uint64_t>(Bitmap::StrideFor(ScaledDimension(preview.width, eighths))) *
               static_cast<std::uint64_t>(ScaledDimension(preview.height, eighths)) +
           preview.coefficientBytes;
}

void ThrowIfStopped(const std::atomic<bool>* stop) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        throw JpegDecodeStopped();
}

} // namespace

bool SameAspect(int previewWidth, int previewHeight, int width, int height) {
    if (previewWidth <= 0 || previewHeight <= 0 || width <= 0 || height <= 0)
        return false;
    // |pw / ph - w / h| <= (w / h) / 100, multiplied out by ph x h x 100.
    const std::int64_t cross = std::int64_t{previewWidth} * height;
    const std::int64_t own = std::int64_t{width} * previewHeight;
    return std::llabs(cross - own) * 100 <= own;
}

std::optional<FilePreview> DecodeFilePreview(const RegularFile& file,
                                             std::span<const FilePart> places,
                                             const JpegInfo& picture, int width, int height,
                                             const std::atomic<bool>* stop,
                                             std::uint64_t maxBytes) {
    std::vector<Candidate> candidates;
    for (const FilePart& place : places.first(std::min(places.size(), kMaxPreviewPlaces))) {
        ThrowIfStopped(stop);
        const auto bytes = ReadPlace(file, place);
        if (!bytes)
            continue;
        try {
            const JpegInfo info = ReadJpegHeader(*bytes);
            if (StandsInFor(info, picture) && PeakBytes(info, width, height) <= maxBytes)
                candidates.push_back({place, info});
        } catch (const JpegError&) {
        }
    }
    // The best first: those at least as large as asked, smallest first, then the others,
    // largest first.
    const auto reaches = [&](const JpegInfo& info) {
        return info.width >= width && info.height >= height;
    };
    const auto pixels = [](const JpegInfo& info) { return std::int64_t{info.width} * info.height; };
    std::ranges::stable_sort(candidates, [&](const Candidate& a, const Candidate& b) {
        if (reaches(a.info) != reaches(b.info))
            return reaches(a.info);
        return reaches(a.info) ? pixels(a.info) < pixels(b.info) : pixels(a.info) > pixels(b.info);
    });
    for (const Candidate& candidate : candidates) {
        ThrowIfStopped(stop);
        const auto bytes = ReadPlace(file, candidate.place);
        if (!bytes)
            continue;
        try {
            const int eighths = ScaleEighthsFor(candidate.info, width, height);
            return FilePreview{DecodeFlawlessJpegScaled(*bytes, candidate.info, eighths, stop),
                               candidate.info.width, candidate.info.height};
        } catch (const JpegError&) {
            // damaged after its header: the next best, if any
        }
    }
    return std::nullopt;
}

} // namespace tessaly
