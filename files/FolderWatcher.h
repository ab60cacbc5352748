// Watching the folders an image list was built from, so the list can follow what other
// programs do there. inotify directly, one watch a folder (the folder's own entries, not
// its subfolders: a recursive list passes every folder it searched).
//
// The number of folders watched is bounded (kMaxFolders by default): inotify's watches are
// counted per user and shared with every other program of that user (file managers,
// editors, indexers), so a list built from a huge tree must not take them all. Folders past
// the bound, or refused by the system, are not watched, and Watch() returns them.
//
// Use from the main window (Qt Core's QSocketNotifier and a single-shot QTimer; the timer
// gathers a burst of changes, such as a file manager moving a hundred files, into one
// update of the list):
//
//     FolderWatcher watcher;
//     const auto unwatched = watcher.Watch(folders);  // again with each new list
//     QSocketNotifier notifier(watcher.Descriptor(), QSocketNotifier::Read);
//     connect(&notifier, &QSocketNotifier::activated, [&] { timer.start(200); });
//     connect(&timer, &QTimer::timeout, [&] {
//         const FolderChanges changes = watcher.ReadChanges();
//         for (auto& p : changes.removed) list.RemovePath(p);   // the next is shown
//         for (auto& p : changes.appeared)                       // already listed:
//             list.InsertSorted(p, less);                        //   replaced, show anew
//         ... show anew when the shown path is in changes.rewritten or reappeared
//         ... after changes.overflowed, compare the list with changes.present
//     });
#pragma once

#include "base/Descriptor.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tessaly {

// What changed in the watched folders since the last read, one entry a path, each path in
// at most one of the three lists.
struct FolderChanges {
    // Names that are gone (deleted, or renamed away from the folder); any file type.
    std::vector<std::string> removed;
    // JPEG names (".JPG" in any letter case) that appeared (made, or renamed into the
    // folder). A name already listed that appears again was replaced by another file.
    std::vector<std::string> appeared;
    // Files written and closed in place.
    std::vector<std::string> rewritten;
    // Watched folders that were themselves deleted or renamed: no longer watched.
    std::vector<std::string> foldersGone;
    // The system dropped events (its queue was full), so the lists above miss changes:
    // `present` then holds every JPEG name in the watched folders as they are now, read
    // after the drop, for the list to be compared with.
    bool overflowed = false;
    std::vector<std::string> present;

    bool Empty() const {
        return removed.empty() && appeared.empty() && rewritten.empty() && foldersGone.empty() &&
               !overflowed;
    }
};

class FolderWatcher {
public:
    static constexpr std::size_t kMaxFolders = 512;

    // Throws FileOperationError when the system gives no inotify instance.
    explicit FolderWatcher(std::size_t maxFolders = kMaxFolders);

    // Stops watching the old folders and watches these (the same folder given twice is
    // watched once). Returns the folders that are not watched.
    std::vector<std::string> Watch(const std::vector<std::string>& folders);
    std::size_t WatchedCount() const { return folders_.size(); }

    // Readable (poll, QSocketNotifier) while changes wait to be read.
    int Descriptor() const { return fd_.get(); }

    // Reads every change that waits, without blocking, and folds them per path: the last of
    // a path's appearing and going decides, and a file that appeared is not also reported as
    // rewritten. After an overflow the watched folders are read anew (see `present`).
    FolderChanges ReadChanges();

private:
    void UnwatchAll();
    std::vector<std::string> JpegFilesNow() const;

    tessaly::Descriptor fd_;
    std::size_t maxFolders_;
    std::map<int, std::string> folders_; // watch descriptor -> folder
};

} // namespace tessaly
