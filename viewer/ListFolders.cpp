#include "viewer/ListFolders.h"

#include "files/NoReplaceRename.h"
#include "viewer/SearchFiles.h"

#include <dirent.h>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace tessaly {

namespace {

using FolderKey = std::pair<dev_t, ino_t>;

// Adds `folder` and the folders below it, breadth first, each real folder once.
void AddTree(const std::string& top, std::vector<std::string>& folders, std::set<FolderKey>& seen,
             std::size_t limit) {
    std::vector<std::string> pending{top};
    for (std::size_t next = 0; next < pending.size() && folders.size() < limit; ++next) {
        const std::string folder = pending[next]; // a copy: `pending` grows below
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            !seen.insert({info.st_dev, info.st_ino}).second)
            continue;
        folders.push_back(folder);
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." ||
                (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN))
                continue;
            // Joined as the search joins them, so the watcher's paths read like the list's.
            pending.push_back(folder + "/" + name);
        }
    }
}

std::string Normal(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

} // namespace

std::vector<std::string> ListFolders(const std::vector<std::string>& named, std::size_t limit) {
    std::vector<std::string> folders;
    std::set<FolderKey> seen;
    for (const std::string& path : named) {
        if (folders.size() >= limit)
            break;
        if (ExtCheck(path)) {
            const std::string folder = FolderOf(path);
            struct stat info {};
            if (::stat(folder.c_str(), &info) == 0 &&
                seen.insert({info.st_dev, info.st_ino}).second)
                folders.push_back(folder);
        } else if (IsFolder(path)) {
            AddTree(path, folders, seen, limit);
        }
    }
    return folders;
}

bool SamePath(const std::string& a, const std::string& b) {
    return a == b || Normal(a) == Normal(b);
}

int FindEntry(const ImageList& list, const std::string& path) {
    for (int k = 1; k <= list.Count(); ++k)
        if (SamePath(list.Path(k), path))
            return k;
    return 0;
}

bool RemoveEntries(ImageList& list, const std::string& path) {
    bool shown = false;
    for (int k = list.Count(); k >= 1; --k) {
        if (!SamePath(list.Path(k), path))
            continue;
        shown = shown || k == list.Index();
        list.Remove(k);
    }
    return shown;
}

} // namespace tessaly
