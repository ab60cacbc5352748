#include "pictures/CopyCache.h"

#include <algorithm>

namespace tessaly {

bool KeptCopy::Covers(int width, int height) const {
    if (error)
        return true; // an error answers any size
    const bool fullSize = pixels->Width() == fullWidth && pixels->Height() == fullHeight;
    return fullSize || (pixels->Width() >= width && pixels->Height() >= height);
}

bool KeptCopy::CoversAhead(int width, int height) const {
    return Covers(width, height) || (madeForWidth >= width && madeForHeight >= height);
}

std::size_t KeptCopy::Bytes() const {
    return CopyCache::kEntryBytes + (pixels ? pixels->SizeBytes() : 0);
}

std::uint64_t CopyCache::PixelBytes() const {
    std::uint64_t bytes = 0;
    for (const auto& [path, entry] : entries_)
        if (entry.copy.pixels)
            bytes += entry.copy.pixels->SizeBytes();
    return bytes;
}

const KeptCopy* CopyCache::Find(const std::string& path) const {
    const auto at = entries_.find(path);
    return at == entries_.end() ? nullptr : &at->second.copy;
}

void CopyCache::SetWanted(std::string current, std::vector<std::string> ahead) {
    current_ = std::move(current);
    ahead_ = std::move(ahead);
    // The most wanted is touched last, so that among copies nobody asks for any more it is
    // the last to be dropped.
    for (auto it = ahead_.rbegin(); it != ahead_.rend(); ++it)
        Touch(*it);
    Touch(current_);
}

void CopyCache::Touch(const std::string& path) {
    const auto at = entries_.find(path);
    if (at != entries_.end())
        at->second.lastUse = ++clock_;
}

std::uint64_t CopyCache::Worth(const std::string& path, std::uint64_t lastUse) const {
    if (!current_.empty() && path == current_)
        return clock_ + ahead_.size() + 2;
    const auto at = std::find(ahead_.begin(), ahead_.end(), path);
    if (at != ahead_.end())
        return clock_ + 1 + static_cast<std::uint64_t>(ahead_.end() - at);
    return lastUse;
}

std::size_t CopyCache::BytesWorthAtLeast(const std::string& path) const {
    const std::uint64_t worth = Worth(path, clock_ + 1);
    std::size_t bytes = 0;
    for (const auto& [keptPath, entry] : entries_)
        if (keptPath != path && Worth(keptPath, entry.lastUse) >= worth)
            bytes += entry.bytes;
    return bytes;
}

void CopyCache::Drop(std::unordered_map<std::string, Entry>::iterator at) {
    bytes_ -= at->second.bytes;
    entries_.erase(at); // the pixels' ledger frees them off this thread
}

void CopyCache::Forget(const std::string& path) {
    if (const auto at = entries_.find(path); at != entries_.end())
        Drop(at);
}

void CopyCache::Clear() {
    entries_.clear();
    bytes_ = 0;
}

bool CopyCache::Keep(const std::string& path, KeptCopy copy) {
    if (const auto old = entries_.find(path); old != entries_.end())
        Drop(old);
    const std::size_t bytes = copy.Bytes();
    if (bytes + BytesWorthAtLeast(path) > budget_)
        return false;
    entries_.emplace(path, Entry{std::move(copy), bytes, ++clock_});
    bytes_ += bytes;
    while (bytes_ > budget_) {
        const auto least = std::min_element(
            entries_.begin(), entries_.end(), [this](const auto& a, const auto& b) {
                return Worth(a.first, a.second.lastUse) < Worth(b.first, b.second.lastUse);
            });
        Drop(least);
    }
    return true;
}

} // namespace tessaly
