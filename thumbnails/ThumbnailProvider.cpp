#include "thumbnails/ThumbnailProvider.h"

#include "base/RegularFile.h"
#include "jpeg/JpegDecoder.h"
#include "picture/Bitmap.h"
#include "resample/DisplayScale.h"
#include "thumbnails/FileUri.h"
#include "thumbnails/ThumbnailMaker.h"
#include "thumbnails/ThumbnailPng.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <system_error>

namespace tessaly {

namespace {

QImage ToImage(const Bitmap& bitmap) {
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    const auto rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.Row(y), rowBytes);
    return image;
}

Bitmap ToBitmap(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap bitmap = Bitmap::Uninitialized(bgr.width(), bgr.height());
    const auto rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(bitmap.Row(y), bgr.constScanLine(y), rowBytes);
    return bitmap;
}

// A valid thumbnail in the cache, its pixels read when asked for (and then only if readable).
struct Found {
    std::filesystem::path file;
    ThumbnailKeys keys;
    QImage image;
};

std::optional<Found> FindValid(const std::filesystem::path& file, const FileStamp& stamp,
                               bool wantPixels) {
    std::optional<ThumbnailKeys> keys = ReadThumbnailKeys(file);
    if (!keys || !Answers(*keys, stamp))
        return std::nullopt;
    Found found{file, std::move(*keys), {}};
    if (wantPixels) {
        found.image = ReadThumbnailImage(file);
        if (found.image.isNull())
            return std::nullopt;
    }
    return found;
}

// Writes the thumbnail; a cache that cannot be written is not the file's fault: the reason is
// kept and the thumbnail used all the same.
void Store(const ThumbnailCache& cache, ThumbnailSize size, const std::filesystem::path& file,
           const QImage& image, const ThumbnailKeys& keys, ThumbnailOutcome& outcome) {
    try {
        MakePrivateFolders(cache.Folder(size));
        WriteThumbnail(file, image, keys);
        outcome.file = file;
    } catch (const ThumbnailWriteError& e) {
        outcome.error = e.what();
    }
}

ThumbnailOutcome Failure(std::string error) {
    ThumbnailOutcome outcome;
    outcome.error = std::move(error);
    return outcome;
}

} // namespace

ThumbnailProvider::ThumbnailProvider(ThumbnailCache cache) : cache_(std::move(cache)) {}

void ThumbnailProvider::Write(ThumbnailOutcome& outcome) const {
    if (!outcome.pending)
        return;
    const PendingThumbnailWrite write = std::move(*outcome.pending);
    outcome.pending.reset();
    Store(cache_, write.size, write.file, write.image, write.keys, outcome);
}

ThumbnailOutcome ThumbnailProvider::Provide(const std::string& path, ThumbnailSize size,
                                            bool wantPixels, const std::atomic<bool>* stop,
                                            bool deferWrite) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec)
        return Failure(path + ": " + ec.message());
    // The cache's folder by its own name and by the one its links resolve to, so that neither
    // a link into the cache nor a cache reached through a link is thumbnailed.
    std::error_code realError;
    const std::filesystem::path real = std::filesystem::weakly_canonical(absolute, realError);
    const std::filesystem::path realRoot =
        std::filesystem::weakly_canonical(cache_.Root(), realError);
    if (realError)
        return Failure(path + ": " + realError.message());
    if (cache_.Holds(absolute) || ThumbnailCache(realRoot).Holds(real))
        return Failure(path + ": in the thumbnail cache's own folder, never thumbnailed");

    struct stat st {};
    if (::stat(absolute.c_str(), &st) != 0)
        return Failure(path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Failure(path + ": not a regular file");
    const FileStamp stamp{FileUri(absolute.string()), static_cast<std::int64_t>(st.st_mtim.tv_sec),
                          static_cast<std::uint64_t>(st.st_size)};
    const std::string hash = UriHash(stamp.uri);

    const std::filesystem::path own = cache_.PathFor(size, hash);
    if (auto found = FindValid(own, stamp, wantPixels))
        return {ThumbnailSource::Cached, own, std::move(found->image), {}, {}};

    for (const ThumbnailSize larger : kThumbnailSizes) {
        if (Edge(larger) <= Edge(size))
            continue;
        auto found = FindValid(cache_.PathFor(larger, hash), stamp, true);
        if (!found)
            continue;
        int width = 0;
        int height = 0;
        FitThumbnail(found->image.width(), found->image.height(), Edge(size), width, height);
        const QImage reduced = ToImage(ReduceForDisplay(ToBitmap(found->image), width, height));
        ThumbnailOutcome outcome{ThumbnailSource::Reduced, {}, reduced, {}, {}};
        ThumbnailKeys keys = found->keys;
        keys.size = stamp.size;
        outcome.pending = PendingThumbnailWrite{size, own, reduced, std::move(keys)};
        if (!deferWrite)
            Write(outcome);
        return outcome;
    }

    const std::filesystem::path failEntry = cache_.FailPathFor(hash);
    if (const auto failed = ReadThumbnailKeys(failEntry); failed && Answers(*failed, stamp)) {
        ThumbnailOutcome outcome = Failure(path + ": failed before (" + failEntry.string() + ")");
        outcome.file = failEntry;
        return outcome;
    }

    ThumbnailKeys keys{stamp.uri, stamp.mtime, stamp.size, 0, 0, "image/jpeg"};
    try {
        const MadeThumbnail made = MakeThumbnail(absolute.string(), Edge(size), srgb_, stop);
        keys.imageWidth = made.width;
        keys.imageHeight = made.height;
        ThumbnailOutcome outcome{ThumbnailSource::Made, {}, ToImage(made.pixels), {}, {}};
        outcome.pending = PendingThumbnailWrite{size, own, outcome.image, keys};
        if (!deferWrite)
            Write(outcome);
        return outcome;
    } catch (const JpegDecodeStopped&) {
        throw;
    } catch (const FileReadError& e) {
        return Failure(e.what()); // not the file's content: tried again next time
    } catch (const std::bad_alloc&) {
        return Failure(path + ": out of memory");
    } catch (const std::exception& e) {
        // The content cannot be made into a thumbnail (not a JPEG, damaged, too large):
        // remembered until the file changes.
        ThumbnailOutcome outcome = Failure(path + ": " + e.what());
        try {
            MakePrivateFolders(cache_.FailFolder());
            QImage blank(1, 1, QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            WriteThumbnail(failEntry, blank, {stamp.uri, stamp.mtime, stamp.size, 0, 0, {}});
            outcome.file = failEntry;
        } catch (const ThumbnailWriteError& w) {
            outcome.error += std::string("; ") + w.what();
        }
        return outcome;
    }
}

} // namespace tessaly
