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
#include "thumbnails/ThumbnailPng.h"

#include <QImage>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

namespace tessaly {

enum class ThumbnailSource {
    Cached,  // a valid thumbnail of the size was in the cache
    Reduced, // made from a valid larger one in the cache
    Made,    // made from the file
    Failed,  // none: see `error`
};

// A made thumbnail not written to the cache yet (ThumbnailProvider::Write writes it).
struct PendingThumbnailWrite {
    ThumbnailSize size = ThumbnailSize::Normal;
    std::filesystem::path file;
    QImage image;
    ThumbnailKeys keys;
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
    // With a write left to the caller: the thumbnail made (Made or Reduced) that Write puts in
    // the cache; `file` is then empty until it is written.
    std::optional<PendingThumbnailWrite> pending;

    bool Ok() const { return source != ThumbnailSource::Failed; }
};

class ThumbnailProvider {
public:
    explicit ThumbnailProvider(ThumbnailCache cache);

    const ThumbnailCache& Cache() const { return cache_; }

    // The thumbnail of `path` (relative paths taken from the working folder) at `size`;
    // `wantPixels` false when only the cached file matters (a valid cached thumbnail is then
    // checked by its keys alone). Never throws for the file's faults; throws
    // JpegDecodeStopped soon after `stop` is raised. With `deferWrite` a thumbnail made is
    // not written yet but left in the outcome's `pending`, so that the caller can show it
    // before it spends the time to encode and write it.
    ThumbnailOutcome Provide(const std::string& path, ThumbnailSize size, bool wantPixels,
                             const std::atomic<bool>* stop = nullptr, bool deferWrite = false);
    // Writes the outcome's pending thumbnail to the cache: `file` names it, or `error` says
    // why it could not be written.
    void Write(ThumbnailOutcome& outcome) const;

private:
    ThumbnailCache cache_;
    DisplayColours srgb_; // conversions to sRGB (the "display" has no profile)
};

} // namespace tessaly
