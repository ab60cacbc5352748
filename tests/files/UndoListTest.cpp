// Undoing steps on real files: fifty steps back byte for byte, and steps that must refuse
// because another program took the place or changed the file.
#include "files/UndoList.h"

#include "files/FileError.h"
#include "tests/files/FileTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

namespace {

class UndoListTest : public ::testing::Test {
protected:
    TempDir dir{"tessaly-undo"};
    DataHomeOverride dataHome{dir / "data"};
    UndoList undo;

    FileStep Transfer(TransferKind kind, const fs::path& source, const fs::path& folder) {
        FileTransfer transfer(kind, source, folder);
        transfer.Run();
        return transfer.Step();
    }

    std::string UndoFailure() {
        try {
            undo.UndoLast();
        } catch (const FileOperationError& e) {
            return e.what();
        }
        return "no error";
    }
};

} // namespace

TEST_F(UndoListTest, FiftyStepsComeBackNewestFirstByteForByte) {
    fs::create_directories(dir / "to");
    std::vector<fs::path> paths;
    for (int i = 0; i < 52; ++i) {
        paths.push_back(dir / ("p" + std::to_string(i) + ".jpg"));
        WriteText(paths.back(), std::string(100 + i, static_cast<char>('a' + i % 26)));
    }
    for (int i = 0; i < 52; ++i) {
        switch (i % 3) {
        case 0:
            undo.Record(TrashStep{MoveToTrash(paths[i])});
            break;
        case 1:
            undo.Record(Transfer(TransferKind::Move, paths[i], dir / "to"));
            break;
        default:
            undo.Record(Transfer(TransferKind::Copy, paths[i], dir / "to"));
        }
    }
    EXPECT_EQ(undo.Size(), UndoList::kCapacity);
    for (int i = 51; i >= 2; --i)
        EXPECT_EQ(undo.UndoLast(), paths[i].string());
    EXPECT_TRUE(undo.Empty());
    for (int i = 2; i < 52; ++i)
        EXPECT_EQ(ReadText(paths[i]), std::string(100 + i, static_cast<char>('a' + i % 26))) << i;
    EXPECT_FALSE(fs::exists(paths[0])) << "the oldest steps fell off the list";
    EXPECT_FALSE(fs::exists(paths[1]));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "to"), fs::directory_iterator()), 1);
}

TEST_F(UndoListTest, MoveBackRefusesATakenPlaceOrAFileChangedWhereItWent) {
    fs::create_directories(dir / "to");
    WriteText(dir / "a.jpg", "moved");
    undo.Record(Transfer(TransferKind::Move, dir / "a.jpg", dir / "to"));
    WriteText(dir / "a.jpg", "newcomer");
    EXPECT_EQ(UndoFailure(), "元の場所 " + (dir / "a.jpg").string() +
                                 " には既に別のファイルがあるため、元に戻せません。");
    EXPECT_EQ(ReadText(dir / "a.jpg"), "newcomer");
    EXPECT_EQ(ReadText(dir / "to" / "a.jpg"), "moved");
    EXPECT_TRUE(undo.Empty()) << "a failed step leaves the list";

    WriteText(dir / "b.jpg", "moved");
    undo.Record(Transfer(TransferKind::Move, dir / "b.jpg", dir / "to"));
    WriteText(dir / "to" / "b.jpg", "rewritten by another program");
    EXPECT_NE(UndoFailure().find("既に移動または変更されている"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "b.jpg"));

    WriteText(dir / "c.jpg", "copied");
    undo.Record(Transfer(TransferKind::Copy, dir / "c.jpg", dir / "to"));
    fs::rename(dir / "to" / "c.jpg", dir / "to" / "elsewhere.jpg");
    WriteText(dir / "to" / "c.jpg", "another file");
    EXPECT_NE(UndoFailure().find("コピーを削除しません"), std::string::npos);
    EXPECT_EQ(ReadText(dir / "to" / "c.jpg"), "another file");
    EXPECT_EQ(ReadText(dir / "to" / "elsewhere.jpg"), "copied");

    // A file changed where it is is put back only while it is as the change left it.
    int reverts = 0;
    WriteText(dir / "d.jpg", "turned");
    undo.Record(EditStep{(dir / "d.jpg").string(), (dir / "d.jpg").string(),
                         *StampOf(dir / "d.jpg"), [&] { ++reverts; }});
    WriteText(dir / "d.jpg", "rewritten by another program, longer");
    EXPECT_NE(UndoFailure().find("既に移動または変更されている"), std::string::npos);
    undo.Record(EditStep{(dir / "d.jpg").string(), (dir / "d.jpg").string(),
                         *StampOf(dir / "d.jpg"), [&] { ++reverts; }});
    EXPECT_EQ(undo.UndoLast(), (dir / "d.jpg").string());
    EXPECT_EQ(reverts, 1);
}

TEST_F(UndoListTest, MoveToAnotherFileSystemIsUndoneByCopyingBack) {
    TESSALY_MOUNT_OR_SKIP(mount, dir / "other");
    WriteText(dir / "a.jpg", "travelled");
    const timespec old[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "a.jpg").c_str(), old, 0), 0);
    undo.Record(Transfer(TransferKind::Move, dir / "a.jpg", dir / "other"));
    EXPECT_TRUE(UndoCopiesBytes(undo.Last()));
    TransferProgress progress;
    EXPECT_EQ(Undo(undo.TakeLast(), progress), (dir / "a.jpg").string());
    EXPECT_EQ(ReadText(dir / "a.jpg"), "travelled");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "a.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890) << "the file's time came back with it";
    EXPECT_TRUE(fs::is_empty(dir / "other"));
}
