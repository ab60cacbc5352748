// The folders an image list was built from, to watch while it is shown, and the matching of a
// path a watcher reports against the list's entries, which may spell the same file otherwise
// ("a.jpg" and "./a.jpg", "dir//a.jpg" and "dir/a.jpg").
#pragma once

#include "model/ImageList.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tessaly {

// The folders of the named files, and each named folder with every folder below it (symbolic
// links to folders followed, each real folder once), spelled as the search spells them. At
// most `limit` folders; the rest are left out.
std::vector<std::string> ListFolders(const std::vector<std::string>& named, std::size_t limit);

// True when the two paths name the same entry, compared as written ("." and doubled "/"
// aside), without asking the file system.
bool SamePath(const std::string& a, const std::string& b);

// The 1-based position of the first entry naming `path` (SamePath), or 0.
int FindEntry(const ImageList& list, const std::string& path);

// Removes every entry naming `path` (SamePath) as ImageList::Remove does; true when the
// shown entry was one of them.
bool RemoveEntries(ImageList& list, const std::string& path);

} // namespace tessaly
