#include "thumbnails/ThumbnailCache.h"

#include <cmath>
#include <cstdlib>

namespace tessaly {

std::string_view FolderName(ThumbnailSize size) {
    switch (size) {
    case ThumbnailSize::Normal:
        return "normal";
    case ThumbnailSize::Large:
        return "large";
    case ThumbnailSize::XLarge:
        return "x-large";
    case ThumbnailSize::XXLarge:
        return "xx-large";
    }
    return "normal";
}

bool SizeFromName(std::string_view name, ThumbnailSize& size) {
    for (const ThumbnailSize s : kThumbnailSizes)
        if (FolderName(s) == name) {
            size = s;
            return true;
        }
    return false;
}

ThumbnailSize SizeForCell(int logical, double devicePixelRatio) {
    const double device = std::ceil(logical * std::max(devicePixelRatio, 1.0) - 1e-9);
    for (const ThumbnailSize s : kThumbnailSizes)
        if (Edge(s) >= device)
            return s;
    return ThumbnailSize::XXLarge;
}

ThumbnailCache::ThumbnailCache(std::filesystem::path root)
    : root_(std::move(root).lexically_normal()) {
    if (!root_.empty() && !root_.has_filename())
        root_ = root_.parent_path(); // no trailing separator, so Holds compares whole names
}

ThumbnailCache ThumbnailCache::FromEnvironment() {
    // An XDG_CACHE_HOME that is not an absolute path counts as unset, as the desktop
    // programs that share the cache take it.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return ThumbnailCache(std::filesystem::path(cache) / "thumbnails");
    const char* home = std::getenv("HOME");
    return ThumbnailCache(std::filesystem::path(home && home[0] ? home : "/") / ".cache" /
                          "thumbnails");
}

std::filesystem::path ThumbnailCache::Folder(ThumbnailSize size) const {
    return root_ / FolderName(size);
}

std::filesystem::path ThumbnailCache::PathFor(ThumbnailSize size, std::string_view uriHash) const {
    return Folder(size) / (std::string(uriHash) + ".png");
}

std::filesystem::path ThumbnailCache::FailFolder() const {
    return root_ / "fail" / FailFolderName();
}

std::filesystem::path ThumbnailCache::FailPathFor(std::string_view uriHash) const {
    return FailFolder() / (std::string(uriHash) + ".png");
}

bool ThumbnailCache::Holds(const std::filesystem::path& absolutePath) const {
    if (root_.empty() || absolutePath.empty())
        return false;
    auto r = root_.begin();
    auto p = absolutePath.begin();
    for (; r != root_.end(); ++r, ++p)
        if (p == absolutePath.end() || *p != *r)
            return false;
    return true;
}

std::string_view ThumbnailSoftware() {
    return "Tessaly " TESSALY_VERSION;
}

std::string_view FailFolderName() {
    return "tessaly-" TESSALY_VERSION;
}

} // namespace tessaly
