#include "viewer/ListFolders.h"

#include "files/NoReplaceRename.h"
#include "viewer/ListOrder.h"
#include "viewer/SearchFiles.h"

#include <dirent.h>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unordered_set>
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

// The current folder, once for a whole comparison over the list; empty when it cannot be
// had (relative paths are then compared as written).
std::string CurrentFolder() {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    return error ? std::string() : folder;
}

std::string KeyIn(const std::string& path, const std::string& current) {
    std::filesystem::path p(path);
    if (p.is_relative() && !current.empty())
        p = std::filesystem::path(current) / p;
    return p.lexically_normal().string();
}

// Matches the spellings of one path against list entries, the path's key made once.
class PathMatch {
public:
    explicit PathMatch(const std::string& path)
        : path_(path), current_(CurrentFolder()), key_(KeyIn(path, current_)) {}
    bool operator()(const std::string& entry) const {
        return entry == path_ || KeyIn(entry, current_) == key_;
    }

private:
    std::string path_;
    std::string current_;
    std::string key_;
};

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

std::string PathKey(const std::string& path) {
    return KeyIn(path, CurrentFolder());
}

bool SamePath(const std::string& a, const std::string& b) {
    return a == b || PathMatch(a)(b);
}

int FindEntry(const ImageList& list, const std::string& path) {
    const PathMatch match(path);
    for (int k = 1; k <= list.Count(); ++k)
        if (match(list.Path(k)))
            return k;
    return 0;
}

bool RemoveEntries(ImageList& list, const std::string& path) {
    const PathMatch match(path);
    bool shown = false;
    for (int k = list.Count(); k >= 1; --k) {
        if (!match(list.Path(k)))
            continue;
        shown = shown || k == list.Index();
        list.Remove(k);
    }
    return shown;
}

bool FollowChanges(ImageList& list, const FolderChanges& changes,
                   const std::map<std::string, FileStamp>& placed) {
    const std::string shown = list.Index() > 0 ? list.Path(list.Index()) : std::string();
    // A file the viewer's own step put in place or changed (an undo, a turn, a bake) is the
    // picture it shows already.
    const auto isNewPicture = [&](const std::string& path) {
        const auto own = placed.find(PathKey(path));
        return own == placed.end() || StampOf(path) != own->second;
    };
    const auto isShown = [&](const std::string& path) {
        return !shown.empty() && SamePath(path, shown);
    };
    bool showAnew = false;
    for (const std::string& path : changes.removed)
        showAnew = RemoveEntries(list, path) || showAnew;
    for (const std::string& path : changes.appeared) {
        if (FindEntry(list, path) == 0)
            list.InsertSorted(path, ListOrderLess);
        else
            showAnew = showAnew || (isShown(path) && isNewPicture(path)); // replaced
    }
    for (const std::string& path : changes.rewritten)
        showAnew = showAnew || (isShown(path) && isNewPicture(path));
    if (changes.overflowed) {
        // Changes were lost: the list is compared with the folders as they are now.
        for (int k = list.Count(); k >= 1; --k) {
            if (k > list.Count())
                continue;                          // removed with a later spelling of the same path
            const std::string path = list.Path(k); // a copy: the entry leaves below
            if (!StampOf(path))
                showAnew = RemoveEntries(list, path) || showAnew;
        }
        const std::string current = CurrentFolder();
        std::unordered_set<std::string> listed;
        for (const std::string& entry : list.Entries())
            listed.insert(KeyIn(entry, current));
        for (const std::string& path : changes.present)
            if (listed.insert(KeyIn(path, current)).second)
                list.InsertSorted(path, ListOrderLess);
    }
    return showAnew;
}

} // namespace tessaly
