// The Trash on real file systems: the home trash, a mount's own trash, names taken in the
// trash, symbolic links, and returning a file when its place or the trashed file changed.
#include "files/Trash.h"

#include "files/FileError.h"
#include "tests/files/FileTestSupport.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

namespace {

class TrashTest : public ::testing::Test {
protected:
    TempDir dir{"tessaly-trash"};
    DataHomeOverride dataHome{dir / "data"};
    fs::path homeTrash = dir / "data" / "Trash";

    std::string Message(const std::function<void()>& step) {
        try {
            step();
        } catch (const FileOperationError& e) {
            return e.what();
        }
        return "no error";
    }
};

} // namespace

TEST_F(TrashTest, HomeFileGoesToTheHomeTrashWithItsInformationAndComesBack) {
    const fs::path photo = dir / "夏 100%.jpg";
    WriteText(photo, "first");
    const TrashedFile trashed = MoveToTrash(photo);
    EXPECT_FALSE(fs::exists(photo));
    EXPECT_EQ(trashed.trashFolder, homeTrash.string());
    EXPECT_EQ(ReadText(homeTrash / "files" / "夏 100%.jpg"), "first");
    const std::string info = ReadText(homeTrash / "info" / "夏 100%.jpg.trashinfo");
    const std::regex form(
        "\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(info, match, form)) << info;
    EXPECT_EQ(match[1].str(), PercentEncodePath(photo.string()));
    EXPECT_NE(match[1].str().find("/%E5%A4%8F%20100%25.jpg"), std::string::npos) << match[1];

    RestoreFromTrash(trashed);
    EXPECT_EQ(ReadText(photo), "first");
    EXPECT_TRUE(fs::is_empty(homeTrash / "files"));
    EXPECT_TRUE(fs::is_empty(homeTrash / "info"));
}

TEST_F(TrashTest, NameTakenInTheTrashGetsANumberAndNothingThereIsReplaced) {
    fs::create_directories(homeTrash / "info");
    fs::create_directories(homeTrash / "files");
    // Another program's leftovers: an information file alone, then a file alone.
    WriteText(homeTrash / "info" / "a.jpg.trashinfo", "theirs");
    WriteText(homeTrash / "files" / "a (2).jpg", "theirs");
    WriteText(dir / "a.jpg", "mine");
    const TrashedFile trashed = MoveToTrash(dir / "a.jpg");
    EXPECT_EQ(trashed.trashedName, "a (3).jpg");
    EXPECT_EQ(ReadText(homeTrash / "files" / "a (3).jpg"), "mine");
    EXPECT_TRUE(fs::exists(homeTrash / "info" / "a (3).jpg.trashinfo"));
    EXPECT_EQ(ReadText(homeTrash / "info" / "a.jpg.trashinfo"), "theirs");
    EXPECT_FALSE(fs::exists(homeTrash / "info" / "a (2).jpg.trashinfo"));
}

TEST_F(TrashTest, SymbolicLinkIsTrashedItselfNeverItsTarget) {
    WriteText(dir / "target.jpg", "target");
    fs::create_symlink(dir / "target.jpg", dir / "link.jpg");
    const TrashedFile trashed = MoveToTrash(dir / "link.jpg");
    EXPECT_EQ(ReadText(dir / "target.jpg"), "target");
    EXPECT_TRUE(fs::is_symlink(trashed.TrashedPath()));
    RestoreFromTrash(trashed);
    EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
}

TEST_F(TrashTest, ReturnRefusesATakenPlaceOrAChangedTrashedFile) {
    WriteText(dir / "a.jpg", "old");
    const TrashedFile first = MoveToTrash(dir / "a.jpg");
    WriteText(dir / "a.jpg", "new");
    EXPECT_EQ(Message([&] { RestoreFromTrash(first); }),
              "元の場所 " + (dir / "a.jpg").string() +
                  " には既に別のファイルがあるため、元に戻せません。");
    EXPECT_EQ(ReadText(dir / "a.jpg"), "new");
    EXPECT_EQ(ReadText(first.TrashedPath()), "old");
    EXPECT_TRUE(fs::exists(first.InfoPath()));

    // The file manager restored the second one and another file took its place in the trash.
    const TrashedFile second = MoveToTrash(dir / "a.jpg");
    fs::remove(second.TrashedPath());
    WriteText(second.TrashedPath(), "another");
    EXPECT_NE(Message([&] { RestoreFromTrash(second); }).find("既に移動または変更されている"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "a.jpg"));
    EXPECT_EQ(ReadText(second.TrashedPath()), "another");
}

// A file replaced by a new one (written beside it and renamed over it), its former self kept
// in the trash by a second name, and put back.
TEST_F(TrashTest, KeptFileStaysInPlaceAndComesBackOverTheReplacementOnlyWhileItIsUnchanged) {
    const fs::path photo = dir / "a.jpg";
    const auto replace = [&](const std::string& text) {
        WriteText(dir / "new.tmp", text);
        fs::rename(dir / "new.tmp", photo);
        return *StampOf(photo);
    };
    WriteText(photo, "before");
    const TrashedFile kept = KeepInTrash(photo);
    EXPECT_EQ(ReadText(photo), "before");
    EXPECT_EQ(ReadText(kept.TrashedPath()), "before");
    EXPECT_TRUE(fs::exists(kept.InfoPath()));

    FileStamp changed = replace("after");
    PutBackFromTrash(kept, changed);
    EXPECT_EQ(ReadText(photo), "before");
    EXPECT_TRUE(fs::is_empty(homeTrash / "files"));
    EXPECT_TRUE(fs::is_empty(homeTrash / "info"));

    // Another program rewrote the file after the change: it is not replaced.
    const TrashedFile again = KeepInTrash(photo);
    changed = replace("after");
    replace("theirs");
    EXPECT_NE(
        Message([&] { PutBackFromTrash(again, changed); }).find("既に移動または変更されている"),
        std::string::npos);
    EXPECT_EQ(ReadText(photo), "theirs");
    EXPECT_EQ(ReadText(again.TrashedPath()), "before");
}

TEST_F(TrashTest, FileOnAnotherMountGoesToThatMountsTrashNeverToTheHome) {
    const fs::path top = dir / "mount";
    TESSALY_MOUNT_OR_SKIP(mount, top);
    const std::string uid = std::to_string(::getuid());
    WriteText(top / "a.jpg", "a");
    const TrashedFile own = MoveToTrash(top / "a.jpg");
    EXPECT_EQ(own.trashFolder, (top / (".Trash-" + uid)).string());
    struct stat st {};
    ASSERT_EQ(::lstat(own.trashFolder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(ReadText(own.TrashedPath()), "a");
    EXPECT_NE(
        ReadText(own.InfoPath()).find("Path=" + PercentEncodePath((top / "a.jpg").string()) + "\n"),
        std::string::npos);
    EXPECT_FALSE(fs::exists(homeTrash / "files" / "a.jpg"));

    // A shared .Trash is used only when it is a real folder with the sticky bit.
    fs::create_directory(top / ".Trash");
    ::chmod((top / ".Trash").c_str(), 0777);
    WriteText(top / "b.jpg", "b");
    EXPECT_EQ(MoveToTrash(top / "b.jpg").trashFolder, (top / (".Trash-" + uid)).string());
    ::chmod((top / ".Trash").c_str(), 01777);
    WriteText(top / "sub" / "c.jpg", "c");
    EXPECT_EQ(MoveToTrash(top / "sub" / "c.jpg").trashFolder, (top / ".Trash" / uid).string());
    fs::remove_all(top / ".Trash");
    fs::create_directory(top / "elsewhere");
    ::chmod((top / "elsewhere").c_str(), 01777);
    fs::create_directory_symlink(top / "elsewhere", top / ".Trash");
    WriteText(top / "d.jpg", "d");
    EXPECT_EQ(MoveToTrash(top / "d.jpg").trashFolder, (top / (".Trash-" + uid)).string());

    // A link in the home pointing into the mount is the home's file.
    fs::create_symlink(top / "d.jpg", dir / "link.jpg");
    EXPECT_EQ(MoveToTrash(dir / "link.jpg").trashFolder, homeTrash.string());
}

TEST_F(TrashTest, ReadOnlyMountWithoutATrashKeepsTheFile) {
    const fs::path top = dir / "mount";
    TESSALY_MOUNT_OR_SKIP(mount, top);
    WriteText(top / "a.jpg", "a");
    if (!mount.MakeReadOnly())
        GTEST_SKIP() << "remounting read-only is not permitted here";
    EXPECT_NE(Message([&] { MoveToTrash(top / "a.jpg"); }).find("ゴミ箱へ移動できません"),
              std::string::npos);
    EXPECT_EQ(ReadText(top / "a.jpg"), "a");
    EXPECT_FALSE(fs::exists(homeTrash / "files" / "a.jpg"));
}
