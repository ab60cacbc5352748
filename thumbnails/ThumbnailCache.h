// The layout of the shared thumbnail cache: $XDG_CACHE_HOME/thumbnails (~/.cache/thumbnails
// when XDG_CACHE_HOME is unset, empty or not absolute), one folder per size named by it, each
// thumbnail named by the MD5 of its file's URI, and the failures of this program under
// fail/tessaly-<version>/.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

// The cache's sizes: the longest side of a thumbnail at most this many pixels.
enum class ThumbnailSize { Normal = 128, Large = 256, XLarge = 512, XXLarge = 1024 };

inline constexpr ThumbnailSize kThumbnailSizes[] = {ThumbnailSize::Normal, ThumbnailSize::Large,
                                                    ThumbnailSize::XLarge, ThumbnailSize::XXLarge};

inline int Edge(ThumbnailSize size) {
    return static_cast<int>(size);
}
// The folder's name: "normal", "large", "x-large", "xx-large".
std::string_view FolderName(ThumbnailSize size);
// The size of a folder's name; false for any other name.
bool SizeFromName(std::string_view name, ThumbnailSize& size);
// The smallest size whose edge reaches a cell of `logical` pixels at `devicePixelRatio`
// (128 at 1: normal; at 2: large); xx-large when none does.
ThumbnailSize SizeForCell(int logical, double devicePixelRatio);

class ThumbnailCache {
public:
    // The cache under `root` (the "thumbnails" folder itself).
    explicit ThumbnailCache(std::filesystem::path root);
    // The cache of the user's environment (XDG_CACHE_HOME, else HOME).
    static ThumbnailCache FromEnvironment();

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path Folder(ThumbnailSize size) const;
    std::filesystem::path PathFor(ThumbnailSize size, std::string_view uriHash) const;
    // This program's failure entries: fail/tessaly-<version>.
    std::filesystem::path FailFolder() const;
    std::filesystem::path FailPathFor(std::string_view uriHash) const;

    // Whether the absolute, normalised path lies in the cache's folder (or is it): such files
    // are never thumbnailed, so the cache never feeds on itself.
    bool Holds(const std::filesystem::path& absolutePath) const;

private:
    std::filesystem::path root_;
};

// The "Software" value written into thumbnails: "Tessaly <version>".
std::string_view ThumbnailSoftware();
// The fail folder's name: "tessaly-<version>".
std::string_view FailFolderName();

} // namespace tessaly
