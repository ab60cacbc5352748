// One file's thumbnail at one size, from the shared cache or made: the cached one when its
// keys answer for the file; else a larger valid one reduced (and written at this size); else,
// unless this program's failure entry for the file is valid, one made from the file
// (ThumbnailMaker) and written to the cache, or, when the file cannot be made into one, a
// failure entry. Files in the cache's own folder are refused and nothing is written for them.
//
// Every member may be called from several threads at once: the cache's files are only ever
// replaced whole (a rename), and the colour conversions are shared under their own lock.
#pragma once

#include "colour/DisplayColours.h"
#include "thumbnails/ThumbnailCache.h"

#include <QImage>
#include <atomic>
#include <filesystem>
#include <string>

namespace tessaly {

enum class ThumbnailSource {
    Cached,  // a valid thumbnail of the size was in the cache
    Reduced, // made from a valid larger one in the cache
    Made,    // made from the file
    Failed,  // none: see `error`
};

struct ThumbnailOutcome {
    ThumbnailSource source = ThumbnailSource::Failed;
    // The thumbnail's file in the cache (when Failed: the failure entry, or empty when none
    // was written or found).
    std::filesystem::path file;
    // The pixels (upright, sRGB): null when Failed, or when a cached one was not read since
    // the pixels were not asked for.
    QImage image;
    // Why there is no thumbnail; or, with one, why it could not be written to the cache.
    std::string error;

    bool Ok() const { return source != ThumbnailSource::Failed; }
};

class ThumbnailProvider {
public:
    explicit ThumbnailProvider(ThumbnailCache cache);

    const ThumbnailCache& Cache() const { return cache_; }

    // The thumbnail of `path` (relative paths taken from the working folder) at `size`;
    // `wantPixels` false when only the cached file matters (a valid cached thumbnail is then
    // checked by its keys alone). Never throws for the file's faults; throws
    // JpegDecodeStopped soon after `stop` is raised.
    ThumbnailOutcome Provide(const std::string& path, ThumbnailSize size, bool wantPixels,
                             const std::atomic<bool>* stop = nullptr);

private:
    ThumbnailCache cache_;
    DisplayColours srgb_; // conversions to sRGB (the "display" has no profile)
};

} // namespace tessaly
