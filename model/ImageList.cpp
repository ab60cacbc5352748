#include "model/ImageList.h"

#include "base/Format.h"

#include <algorithm>
#include <stdexcept>

namespace tessaly {

std::string ExtensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    if (path.find('/', dot) != std::string_view::npos)
        return {};
    return std::string(path.substr(dot));
}

bool ExtCheck(std::string_view path) {
    return UpperAscii(ExtensionOf(path)) == kJpegExtension;
}

const std::string& ImageList::Path(int k) const {
    if (k < 1 || k > Count())
        throw std::out_of_range(Format("リストのインデックスが範囲を超えています (%d)", {k - 1}));
    return entries_[static_cast<std::size_t>(k - 1)];
}

void ImageList::Replace(FileListType entries) {
    entries_ = std::move(entries);
    index_ = 0;
}

void ImageList::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
}

int ImageList::Next() {
    index_ = index_ + 1;
    if (index_ > Count())
        index_ = 1;
    return index_;
}

int ImageList::Previous() {
    index_ = index_ - 1;
    if (index_ < 1)
        index_ = Count();
    return index_;
}

int ImageList::First() {
    index_ = 1;
    return index_;
}

int ImageList::Last() {
    index_ = Count();
    return index_;
}

void ImageList::Remove(int k) {
    if (k < 1 || k > Count())
        return;
    entries_.erase(entries_.begin() + (k - 1));
    if (k < index_)
        --index_;
    else if (k == index_ && index_ > Count())
        index_ = Empty() ? 0 : 1;
}

int ImageList::RemovePath(std::string_view path) {
    int removed = 0;
    for (int k = Count(); k >= 1; --k) {
        if (entries_[static_cast<std::size_t>(k - 1)] == path) {
            Remove(k);
            ++removed;
        }
    }
    return removed;
}

int ImageList::InsertSorted(
    std::string path, const std::function<bool(const std::string&, const std::string&)>& less) {
    const auto at = std::upper_bound(entries_.begin(), entries_.end(), path, less);
    const int k = static_cast<int>(at - entries_.begin()) + 1;
    entries_.insert(at, std::move(path));
    if (index_ >= k)
        ++index_;
    return k;
}

std::vector<std::string> ImageList::Neighbours(int direction) const {
    const int count = Count();
    std::vector<std::string> paths;
    if (count < 2 || index_ < 1 || index_ > count)
        return paths;
    for (const int step : {direction, -direction}) {
        const int n = (index_ - 1 + step % count + count) % count + 1;
        if (n != index_ && (paths.empty() || paths.front() != Path(n)))
            paths.push_back(Path(n));
    }
    return paths;
}

} // namespace tessaly
