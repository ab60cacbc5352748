// The folders an image list was built from, to watch while it is shown, and the matching of a
// path a watcher reports against the list's entries, which may spell the same file otherwise
// ("a.jpg" and "./a.jpg", "dir//a.jpg" and "dir/a.jpg", "pics/a.jpg" and "/home/u/pics/a.jpg"
// run from /home/u).
#pragma once

#include "files/FileStamp.h"
#include "files/FolderWatcher.h"
#include "model/ImageList.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tessaly {

// The folders of the named files, and each named folder with every folder below it (symbolic
// links to folders followed, each real folder once), spelled as the search spells them. At
// most `limit` folders; the rest are left out.
std::vector<std::string> ListFolders(const std::vector<std::string>& named, std::size_t limit);

// The form of a path two spellings of one entry share: absolute (a relative path taken from
// the current folder) and lexically normal, without asking the file system about links.
std::string PathKey(const std::string& path);

// True when the two paths name the same entry (equal PathKey).
bool SamePath(const std::string& a, const std::string& b);

// The 1-based position of the first entry naming `path` (SamePath), or 0.
int FindEntry(const ImageList& list, const std::string& path);

// Removes every entry naming `path` (SamePath) as ImageList::Remove does; true when the
// shown entry was one of them.
bool RemoveEntries(ImageList& list, const std::string& path);

// Brings the list up to date with changes read from the folder watcher: removed files leave,
// new JPEG files join in sort order (the shown entry unchanged). After an overflow (changes
// lost), every entry whose file is gone leaves and every file present in the watched folders
// joins unless listed. A listed file that appeared again, or was rewritten in place, is a new
// picture, unless it is one of `placed` (put in place or changed by the viewer's own step,
// keyed by PathKey) with the stamp it had then. Returns true when the shown entry must be shown
// anew: it left the list, or its file is a new picture.
bool FollowChanges(ImageList& list, const FolderChanges& changes,
                   const std::map<std::string, FileStamp>& placed);

} // namespace tessaly
