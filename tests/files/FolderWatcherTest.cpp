// Folder watching: what other programs do in a listed folder arrives as one folded set of
// changes. inotify queues an event before the call that caused it returns, so the changes
// are there to read at once.
#include "files/FolderWatcher.h"

#include "tests/files/FileTestSupport.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

using Paths = std::vector<std::string>;

TEST(FolderWatcher, ReportsRemovedAppearedAndRewrittenFilesFoldedPerPath) {
    TempDir dir("tessaly-watch");
    const fs::path folder = dir / "photos";
    fs::create_directories(folder);
    fs::create_directories(dir / "away");
    for (const char* name : {"gone.jpg", "renamed.jpg", "rewritten.jpg", "replaced.jpg"})
        WriteText(folder / name, "old");
    FolderWatcher watcher;
    EXPECT_TRUE(watcher.Watch({folder.string(), folder.string()}).empty());
    EXPECT_EQ(watcher.WatchedCount(), 1u);
    EXPECT_TRUE(watcher.ReadChanges().Empty());

    fs::remove(folder / "gone.jpg");
    fs::rename(folder / "renamed.jpg", dir / "away" / "renamed.jpg");
    WriteText(folder / "rewritten.jpg", "new");
    WriteText(folder / "NEW.Jpg", "new");
    WriteText(folder / "notes.txt", "not a picture");
    WriteText(folder / "brief.jpg", "made and removed in one burst");
    fs::remove(folder / "brief.jpg");
    WriteText(dir / "away" / "other.jpg", "other");
    fs::rename(dir / "away" / "other.jpg", folder / "replaced.jpg");
    fs::create_directories(folder / "sub.jpg");

    const FolderChanges changes = watcher.ReadChanges();
    auto p = [&](const char* name) { return (folder / name).string(); };
    EXPECT_EQ(changes.removed, (Paths{p("gone.jpg"), p("renamed.jpg"), p("brief.jpg")}));
    EXPECT_EQ(changes.appeared, (Paths{p("NEW.Jpg"), p("replaced.jpg")}));
    EXPECT_EQ(changes.rewritten, (Paths{p("rewritten.jpg")}));
    EXPECT_FALSE(changes.overflowed);
    EXPECT_TRUE(watcher.ReadChanges().Empty()) << "each change is reported once";

    fs::rename(folder, dir / "moved");
    EXPECT_EQ(watcher.ReadChanges().foldersGone, (Paths{folder.string()}));
}

TEST(FolderWatcher, WatchesNoMoreFoldersThanItsBound) {
    TempDir dir("tessaly-watch-bound");
    Paths folders;
    for (const char* name : {"a", "b", "c", "d"}) {
        fs::create_directories(dir / name);
        folders.push_back((dir / name).string());
    }
    folders.push_back((dir / "missing").string());
    FolderWatcher watcher(2);
    EXPECT_EQ(watcher.Watch(folders), (Paths{folders[2], folders[3], folders[4]}));
    WriteText(dir / "c" / "x.jpg", "unwatched");
    WriteText(dir / "b" / "x.jpg", "watched");
    EXPECT_EQ(watcher.ReadChanges().appeared, (Paths{(dir / "b" / "x.jpg").string()}));

    // A new list replaces the watched folders.
    EXPECT_TRUE(watcher.Watch({folders[2]}).empty());
    WriteText(dir / "a" / "y.jpg", "no longer watched");
    WriteText(dir / "c" / "y.jpg", "watched now");
    EXPECT_EQ(watcher.ReadChanges().appeared, (Paths{(dir / "c" / "y.jpg").string()}));
}

// More changes than the system queues for one inotify instance: the events past the queue's
// end are lost, so the watcher reads the folders anew and reports every JPEG in them.
TEST(FolderWatcher, AfterAnOverflowReportsTheFilesPresentNow) {
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    std::size_t queued = 0;
    if (!(limit >> queued) || queued > 100000)
        GTEST_SKIP() << "the system's inotify queue is too long to fill here";
    TempDir dir("tessaly-watch-overflow");
    const fs::path folder = dir / "photos";
    WriteText(folder / "kept.jpg", "kept");
    WriteText(folder / "gone.jpg", "gone");
    FolderWatcher watcher;
    ASSERT_TRUE(watcher.Watch({folder.string()}).empty());

    // Two events a file (made, written and closed): the queue overflows about halfway.
    for (std::size_t i = 0; i <= queued / 2; ++i)
        WriteText(folder / ("note" + std::to_string(i) + ".txt"), "");
    fs::remove(folder / "gone.jpg");
    WriteText(folder / "new.JPG", "new");
    fs::create_directories(folder / "sub.jpg");

    FolderChanges changes = watcher.ReadChanges();
    EXPECT_TRUE(changes.overflowed);
    std::sort(changes.present.begin(), changes.present.end());
    EXPECT_EQ(changes.present,
              (Paths{(folder / "kept.jpg").string(), (folder / "new.JPG").string()}));
    EXPECT_TRUE(changes.removed.empty()) << "its event was lost with the queue's end";
}
