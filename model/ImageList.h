// The image list: which names are taken, the list in its order and the position of the
// entry shown. Paths are byte strings as the system gives them.
#pragma once

#include "base/AsciiCase.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

using FileListType = std::vector<std::string>;

// The wanted extension, compared after upper-casing the ASCII letters of a name's.
inline constexpr std::string_view kJpegExtension = ".JPG";

// The extension of a path: from its last "." on, dot included, provided no "/" comes
// after that dot; otherwise empty.
std::string ExtensionOf(std::string_view path);

// True when the upper-cased extension of the path is ".JPG".
bool ExtCheck(std::string_view path);

// The list and the 1-based position of the shown entry (0 while none is shown).
class ImageList {
public:
    const FileListType& Entries() const { return entries_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    int Index() const { return index_; }

    // Entry k (1-based). Throws std::out_of_range with the list's own message ("リストの
    // インデックスが範囲を超えています (k-1)") when k is outside 1 .. Count().
    const std::string& Path(int k) const;

    // A new list replaces the old one; no entry is shown yet.
    void Replace(FileListType entries);
    void Sort(const std::function<void(FileListType&)>& sort) { sort(entries_); }
    void Clear();

    // Moves the position and returns it: the next entry (after the last, the first), the
    // previous one (before the first, the last), the first and the last.
    int Next();
    int Previous();
    int First();
    int Last();
    void SetIndex(int k) { index_ = k; }

    // Removes entry k (1-based; outside 1 .. Count() nothing happens) and keeps the position:
    // an entry before the shown one moves it back by one; the shown entry itself gives its
    // place to the next one, and after the last the position wraps to the first as Next()
    // does; an emptied list shows no entry (0).
    void Remove(int k);
    // Removes every entry with this path as Remove() does; returns how many there were.
    int RemovePath(std::string_view path);
    // Inserts a path where `less` puts it in a list sorted by `less` (after entries equal to
    // it) and keeps the shown entry shown; returns the new entry's position.
    int InsertSorted(std::string path,
                     const std::function<bool(const std::string&, const std::string&)>& less);

    // The entries beside the shown one: the one a step in `direction` (+1 next, -1 previous,
    // wrapping round at both ends) first, then the one a step back, without the shown entry
    // and without a path twice (two entries have one neighbour). None while no entry is shown.
    std::vector<std::string> Neighbours(int direction) const;

private:
    FileListType entries_;
    int index_ = 0;
};

} // namespace tessaly
