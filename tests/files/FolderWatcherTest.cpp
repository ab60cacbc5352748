// Folder watching: what other programs do in a listed folder arrives as one folded set of
// changes. inotify queues an event before the call that caused it returns, so the changes
// are there to read at once.
#include "files/FolderWatcher.h"

#include "tests/files/FileTestSupport.h"

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
