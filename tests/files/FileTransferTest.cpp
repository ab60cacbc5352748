// Moving and copying into a folder on real file systems: names taken, links, another device,
// a full disk, a folder that refuses writing, a cancelled copy.
#include "files/FileTransfer.h"

#include "files/FileError.h"
#include "files/NoReplaceRename.h"
#include "tests/files/FileTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

namespace {

std::string Failure(FileTransfer& transfer) {
    try {
        transfer.Run();
    } catch (const FileOperationError& e) {
        return e.what();
    }
    return "no error";
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(NumberedName, GoesBeforeTheExtension) {
    EXPECT_EQ(NumberedName("a.jpg", 1), "a.jpg");
    EXPECT_EQ(NumberedName("a.b.JPG", 2), "a.b (2).JPG");
    EXPECT_EQ(NumberedName("a", 3), "a (3)");
    EXPECT_EQ(NumberedName(".jpg", 2), ".jpg (2)");
}

TEST(FileTransfer, MoveOnOneFileSystemRenamesAndNeverReplaces) {
    TempDir dir("tessaly-move");
    fs::create_directories(dir / "to");
    WriteText(dir / "to" / "a.jpg", "there");
    WriteText(dir / "to" / "a (2).jpg", "there too");
    WriteText(dir / "a.jpg", "moved");
    const auto before = StampOf(dir / "a.jpg");
    FileTransfer move(TransferKind::Move, dir / "a.jpg", dir / "to");
    EXPECT_FALSE(move.CopiesBytes());
    move.Run();
    EXPECT_EQ(move.Target(), (dir / "to" / "a (3).jpg").string());
    EXPECT_EQ(StampOf(move.Target()), before) << "the same file, renamed";
    EXPECT_EQ(ReadText(dir / "to" / "a.jpg"), "there");
    EXPECT_EQ(ReadText(dir / "to" / "a (2).jpg"), "there too");
    EXPECT_FALSE(fs::exists(dir / "a.jpg"));
    FileTransfer here(TransferKind::Move, move.Target(), (dir / "to" / ".").string());
    EXPECT_EQ(Failure(here), "ファイル " + move.Target() + " は既にフォルダ " +
                                 (dir / "to" / ".").string() + " にあります。");
    EXPECT_EQ(ReadText(move.Target()), "moved");

    WriteText(dir / "target.jpg", "target");
    fs::create_symlink("target.jpg", dir / "link.jpg");
    FileTransfer link(TransferKind::Move, dir / "link.jpg", dir / "to");
    link.Run();
    EXPECT_TRUE(fs::is_symlink(dir / "to" / "link.jpg"));
    EXPECT_EQ(ReadText(dir / "target.jpg"), "target");
}

TEST(FileTransfer, CopyKeepsTheSourceAndItsModeAndTimes) {
    TempDir dir("tessaly-copy");
    fs::create_directories(dir / "to");
    WriteText(dir / "to" / "a.jpg", "there");
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    WriteText(dir / "a.jpg", bytes);
    fs::permissions(dir / "a.jpg", fs::perms::owner_read | fs::perms::group_read);
    const timespec old[2] = {{1000000000, 0}, {1234567890, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "a.jpg").c_str(), old, 0), 0);
    FileTransfer copy(TransferKind::Copy, dir / "a.jpg", dir / "to");
    EXPECT_TRUE(copy.CopiesBytes());
    copy.Run();
    EXPECT_EQ(copy.Target(), (dir / "to" / "a (2).jpg").string());
    EXPECT_EQ(ReadText(copy.Target()), bytes);
    EXPECT_EQ(ReadText(dir / "a.jpg"), bytes);
    EXPECT_EQ(copy.BytesDone(), bytes.size());
    EXPECT_EQ(copy.BytesTotal(), bytes.size());
    struct stat st {};
    ASSERT_EQ(::stat(copy.Target().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0440u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(Names(dir / "to"), (std::vector<std::string>{"a (2).jpg", "a.jpg"}));
}

TEST(FileTransfer, CancelledCopyLeavesNothingBehind) {
    TempDir dir("tessaly-cancel");
    fs::create_directories(dir / "to");
    WriteText(dir / "a.jpg", std::string(1 << 20, 'x'));
    FileTransfer copy(TransferKind::Move, dir / "a.jpg", dir / "to");
    copy.Cancel();
    EXPECT_EQ(Failure(copy), "no error") << "a move on one file system is a rename";
    FileTransfer back(TransferKind::Copy, dir / "to" / "a.jpg", dir.path());
    back.Cancel();
    EXPECT_THROW(back.Run(), TransferCancelled);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"to"}));
    EXPECT_EQ(Names(dir / "to"), (std::vector<std::string>{"a.jpg"}));
}

TEST(FileTransfer, MoveToAnotherFileSystemCopiesFlushesAndRemovesTheSource) {
    TempDir dir("tessaly-move-across");
    TESSALY_MOUNT_OR_SKIP(mount, dir / "other");
    WriteText(dir / "other" / "a.jpg", "there");
    WriteText(dir / "a.jpg", "moved");
    FileTransfer move(TransferKind::Move, dir / "a.jpg", dir / "other");
    EXPECT_TRUE(move.CopiesBytes());
    move.Run();
    EXPECT_EQ(move.Target(), (dir / "other" / "a (2).jpg").string());
    EXPECT_EQ(ReadText(move.Target()), "moved");
    EXPECT_EQ(ReadText(dir / "other" / "a.jpg"), "there");
    EXPECT_FALSE(fs::exists(dir / "a.jpg"));

    fs::create_symlink("/nowhere/target.jpg", dir / "link.jpg");
    FileTransfer link(TransferKind::Move, dir / "link.jpg", dir / "other");
    link.Run();
    EXPECT_EQ(fs::read_symlink(dir / "other" / "link.jpg"), "/nowhere/target.jpg");
    EXPECT_FALSE(fs::is_symlink(dir / "link.jpg"));
    EXPECT_EQ(Names(dir / "other"), (std::vector<std::string>{"a (2).jpg", "a.jpg", "link.jpg"}));
}

TEST(FileTransfer, FullDiskOrReadOnlyFolderLeavesTheSourceAndSaysWhy) {
    TempDir dir("tessaly-full");
    TESSALY_MOUNT_OR_SKIP(small, dir / "small", "64k");
    const std::string bytes(256 * 1024, 'p');
    WriteText(dir / "a.jpg", bytes);
    FileTransfer full(TransferKind::Move, dir / "a.jpg", dir / "small");
    EXPECT_EQ(Failure(full), "ファイル " + (dir / "a.jpg").string() + " を " +
                                 (dir / "small").string() + " へ移動できません（" +
                                 ErrorText(ENOSPC) + "）。");
    EXPECT_EQ(ReadText(dir / "a.jpg"), bytes);
    EXPECT_TRUE(fs::is_empty(dir / "small")) << "no temporary file left";

    TESSALY_MOUNT_OR_SKIP(readOnly, dir / "ro");
    if (!readOnly.MakeReadOnly())
        GTEST_SKIP() << "remounting read-only is not permitted here";
    FileTransfer refused(TransferKind::Copy, dir / "a.jpg", dir / "ro");
    EXPECT_NE(Failure(refused).find(ErrorText(EROFS)), std::string::npos);
    EXPECT_EQ(ReadText(dir / "a.jpg"), bytes);
}

TEST(FileTransfer, MoveFromAReadOnlyMountRemovesTheCopyAgain) {
    TempDir dir("tessaly-ro-source");
    TESSALY_MOUNT_OR_SKIP(source, dir / "ro");
    WriteText(dir / "ro" / "a.jpg", "kept");
    if (!source.MakeReadOnly())
        GTEST_SKIP() << "remounting read-only is not permitted here";
    fs::create_directories(dir / "to");
    FileTransfer move(TransferKind::Move, dir / "ro" / "a.jpg", dir / "to");
    EXPECT_NE(Failure(move).find(ErrorText(EROFS)), std::string::npos);
    EXPECT_EQ(ReadText(dir / "ro" / "a.jpg"), "kept");
    EXPECT_TRUE(fs::is_empty(dir / "to"));
}

// Another program rewrites the source in place (shorter, as an editor saving over it does)
// while its bytes are copied, or puts another file at its name: the copy never takes the
// name, no half file is left, and a move leaves the source (as it is now) in its place.
TEST(FileTransfer, SourceChangedDuringTheCopyLeavesItAndNoCopy) {
    TempDir dir("tessaly-changed");
    TESSALY_MOUNT_OR_SKIP(mount, dir / "other");
    const std::string bytes(3 << 20, 'o');
    const std::string rewritten(1 << 20, 'n');
    const std::string changed = "。コピーの間に元のファイルが変更されました。";
    for (const TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
        WriteText(dir / "a.jpg", bytes);
        FileTransfer transfer(kind, dir / "a.jpg", dir / "other");
        bool once = false;
        transfer.OnChunkWritten([&] {
            if (!std::exchange(once, true))
                WriteText(dir / "a.jpg", rewritten);
        });
        EXPECT_EQ(Failure(transfer),
                  TransferError(kind, (dir / "a.jpg").string(), (dir / "other").string()) +
                      changed);
        EXPECT_EQ(ReadText(dir / "a.jpg"), rewritten);
        EXPECT_TRUE(fs::is_empty(dir / "other"));
    }

    WriteText(dir / "a.jpg", bytes);
    FileTransfer move(TransferKind::Move, dir / "a.jpg", dir / "other");
    bool once = false;
    move.OnChunkWritten([&] {
        if (!std::exchange(once, true)) {
            WriteText(dir / "new.jpg", "another file");
            fs::rename(dir / "new.jpg", dir / "a.jpg");
        }
    });
    EXPECT_NE(Failure(move).find(changed), std::string::npos);
    EXPECT_EQ(ReadText(dir / "a.jpg"), "another file");
    EXPECT_TRUE(fs::is_empty(dir / "other"));
}
