// How the image list is built from the paths the user names, how it is ordered and how its
// paths read on screen, in the user's locale.
#pragma once

#include "model/ImageList.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMimeData;
class QWidget;

namespace tessaly {

// The list of the named files and of the pictures found in the named folders, searched under
// the busy cursor; shows the box "検索を中断しました。" over `owner` when the user interrupted
// the search.
FileListType CollectFiles(const std::vector<std::string>& paths, QWidget* owner);

// The local files of a drop, as the system names them (bytes).
std::vector<std::string> LocalFiles(const QMimeData& mime);

// The entry CollectFiles and SortFileList put first for `paths`, when that is known without
// a search: the named picture file that comes first in the list's order, when no path names a
// folder (a folder's first picture is known only once the whole search is done); nothing
// otherwise. It neither searches nor opens a file.
std::optional<std::string> FirstNamedFile(const std::vector<std::string>& paths);

// Sorts ascending with the user's locale, ignoring case (a.JPG before B.JPG).
void SortFileList(FileListType& list);

// True when `a` comes before `b` in the order SortFileList gives (for inserting into a sorted
// list).
bool ListOrderLess(const std::string& a, const std::string& b);

// The displayed form of a path (file names are bytes; invalid UTF-8 shows as U+FFFD).
std::string DisplayPath(std::string_view path);

} // namespace tessaly
