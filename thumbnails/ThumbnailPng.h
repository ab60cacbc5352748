// Thumbnail files: PNG pictures whose text chunks say which file they show (Thumb::URI) and
// as it was when (Thumb::MTime), read and written with Qt's PNG support.
#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tessaly {

// A thumbnail file could not be written; what() names the path and the reason.
class ThumbnailWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a thumbnail says of its file.
struct ThumbnailKeys {
    std::string uri;
    std::int64_t mtime = 0;            // the file's modification time, whole seconds
    std::optional<std::uint64_t> size; // the file's size in bytes (optional in the cache)
    int imageWidth = 0;                // the picture's own size, upright; 0: not said
    int imageHeight = 0;
    std::string mimeType;
};

// The file as a thumbnail must name it to be valid for it.
struct FileStamp {
    std::string uri;
    std::int64_t mtime = 0;
    std::uint64_t size = 0;
};

// Whether thumbnail keys answer for the file: the same URI and modification time, and the
// same size when the thumbnail gives one (a file rewritten within the second it was
// thumbnailed in keeps its time but seldom its size).
bool Answers(const ThumbnailKeys& keys, const FileStamp& file);

// The keys of the PNG at `path`, read from its header without decoding its pixels (keys
// stored after the pixels are read with them); nullopt when it is missing, not a PNG or
// without a URI and a valid MTime.
std::optional<ThumbnailKeys> ReadThumbnailKeys(const std::filesystem::path& path);

// The PNG's pixels; a null image when it cannot be read.
QImage ReadThumbnailImage(const std::filesystem::path& path);

// Writes `image` with `keys` and "Software" (ThumbnailSoftware()) as a PNG at `path`: into a
// temporary file of mode 0600 in the same folder, then renamed over `path`, so that a reader
// never sees half a file. The folder must exist (MakePrivateFolders). Throws
// ThumbnailWriteError, leaving no temporary file behind.
void WriteThumbnail(const std::filesystem::path& path, const QImage& image,
                    const ThumbnailKeys& keys);

// Makes the folder `path` and the missing folders above it, each with mode 0700 (an existing
// folder keeps its mode). Throws ThumbnailWriteError.
void MakePrivateFolders(const std::filesystem::path& path);

} // namespace tessaly
