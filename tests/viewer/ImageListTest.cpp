// Building the image list from arguments and drops, sorting, and stepping through it.
#include "MainWindowFixture.h"
#include "base/Paths.h"
#include "viewer/ListOrder.h"
#include "viewer/SearchFiles.h"

#include <QMimeData>
#include <QUrl>
#include <filesystem>

using namespace tessaly;
using namespace tessaly::testing;

TEST(ImageList, SaveFolderIsTheFirstEntrysFolderWithoutItsSeparator) {
    EXPECT_EQ(FolderWithoutSeparator("/photo/2006/a.jpg"), "/photo/2006");
    EXPECT_EQ(FolderWithoutSeparator("/a.jpg"), "/"); // the root folder itself
    EXPECT_EQ(FolderWithoutSeparator("a.jpg"), "");
    EXPECT_EQ(FolderWithoutSeparator("rel/dir//b.JPG"), "rel/dir/");
}

TEST(ImageList, SortIgnoresCase) {
    FileListType list = {"/p/b.JPG", "/p/C.jpg", "/p/a.JPG", "/p/B2.jpg", "/p/A.jpg"};
    SortFileList(list);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_TRUE((list[0] == "/p/a.JPG" && list[1] == "/p/A.jpg") ||
                (list[0] == "/p/A.jpg" && list[1] == "/p/a.JPG"));
    EXPECT_EQ(list[2], "/p/b.JPG");
    EXPECT_EQ(list[3], "/p/B2.jpg");
    EXPECT_EQ(list[4], "/p/C.jpg");
}

class ListBuildingTest : public MainWindowTest {
protected:
    void SetUp() override {
        for (const char* name : {"t/a.JPG", "t/B.jpg", "t/c.Jpg", "t/no.jpeg", "t/no.JPE",
                                 "t/no.png", "t/sub/deep/d.jpg", "t/.hidden/e.JPG", "t/.f.jpg"})
            WriteJpeg(dir_, name, 8, 8);
        root_ = (dir_ / "t").string();
    }
    std::string root_;
};

TEST_F(ListBuildingTest, FolderIsSearchedAtAnyDepthWithHiddenEntriesAndSorted) {
    MainWindow& f = Open({root_});
    const FileListType expected = {root_ + "/.f.jpg", root_ + "/.hidden/e.JPG",
                                   root_ + "/a.JPG",  root_ + "/B.jpg",
                                   root_ + "/c.Jpg",  root_ + "/sub/deep/d.jpg"};
    FileListType sortedExpected = expected;
    SortFileList(sortedExpected);
    EXPECT_EQ(f.Model().List().Entries(), sortedExpected);
    EXPECT_EQ(f.Model().List().Index(), 1);
    EXPECT_TRUE(f.Ui().nextItem->isEnabled());
    EXPECT_TRUE(f.Ui().previousItem->isEnabled());
    EXPECT_TRUE(f.Ui().firstItem->isEnabled());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(ListBuildingTest, NamesAreTakenAsGivenAndDuplicatesStay) {
    const std::string a = root_ + "/a.JPG";
    MainWindow& f = Open({a, root_ + "/no.jpeg", "not-there.txt", root_ + "/sub", a});
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{a, a, root_ + "/sub/deep/d.jpg"}));
}

TEST_F(ListBuildingTest, FolderWithATrailingSeparatorIsJoinedUnchanged) {
    MainWindow& f = Open({root_ + "/sub/deep/"});
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{root_ + "/sub/deep//d.jpg"}));
}

TEST_F(ListBuildingTest, LinkedFolderIsFollowed) {
    WriteJpeg(dir_, "elsewhere/x.jpg", 8, 8);
    std::filesystem::create_directory_symlink(dir_ / "elsewhere", root_ + "/link");
    MainWindow& f = Open({root_ + "/sub"});
    f.DropFiles({root_ + "/link"});
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{root_ + "/link/x.jpg"}));
}

TEST_F(ListBuildingTest, DropOfFilesAndFoldersGivesOneSortedListAndTheSaveFolder) {
    MainWindow& f = Open();
    WriteJpeg(dir_, "Q/z.jpg", 8, 8); // "Q" sorts before "t" whatever the case
    f.DropFiles({root_ + "/sub", (dir_ / "Q").string(), root_ + "/B.jpg"});
    EXPECT_EQ(
        f.Model().List().Entries(),
        (FileListType{(dir_ / "Q/z.jpg").string(), root_ + "/B.jpg", root_ + "/sub/deep/d.jpg"}));
    EXPECT_EQ(f.Folder().Path(), (dir_ / "Q").string());
    EXPECT_EQ(f.Model().List().Index(), 1);
}

TEST_F(ListBuildingTest, DropYieldingNothingReportsNothingAndKeepsThePicture) {
    MainWindow& f = Open({root_ + "/a.JPG", root_ + "/B.jpg"});
    const QString caption = Caption();
    f.DropFiles({root_ + "/no.png", (dir_ / "missing").string()});
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Information);
    EXPECT_EQ(boxes_.boxes()[0].title, QStringLiteral("情報"));
    EXPECT_EQ(boxes_.boxes()[0].text, QStringLiteral("Nothing"));
    EXPECT_TRUE(f.Ui().picture->HasPicture());
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(f.Model().List().Index(), 0);
    EXPECT_FALSE(f.Ui().nextItem->isEnabled());
    QTest::keyClick(&f, Qt::Key_Right);
    EXPECT_EQ(f.Model().List().Index(), 0);
    EXPECT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(f.Folder().Path(), "");
}

TEST_F(ListBuildingTest, NewPressOfShiftInterruptsTheSearchAndKeepsWhatWasFound) {
    MainWindow& f = Open();
    QCoreApplication::postEvent(&f,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier));
    f.DropFiles({root_ + "/c.Jpg", root_, root_ + "/a.JPG"});
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Plain);
    EXPECT_EQ(boxes_.boxes()[0].title, QStringLiteral("Corvanel"));
    EXPECT_EQ(boxes_.boxes()[0].text, QStringLiteral("検索を中断しました。"));
    // The search stopped at its first entry; the items after the folder were skipped.
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{root_ + "/c.Jpg"}));
    EXPECT_EQ(f.Model().List().Index(), 1);
}

TEST_F(ListBuildingTest, HeldKeysAndOtherButtonsDoNotInterrupt) {
    MainWindow& f = Open();
    QCoreApplication::postEvent(
        &f, new QKeyEvent(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true));
    QCoreApplication::postEvent(&f, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
    f.DropFiles({root_});
    EXPECT_TRUE(boxes_.boxes().empty());
    EXPECT_EQ(f.Model().List().Entries().size(), 6u);
}

TEST_F(ListBuildingTest, RightButtonPressInterruptsTheSearch) {
    MainWindow& f = Open();
    QCoreApplication::postEvent(
        f.Ui().panel, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                                      Qt::RightButton, Qt::RightButton, Qt::NoModifier));
    f.DropFiles({root_});
    ASSERT_FALSE(boxes_.boxes().empty());
    EXPECT_EQ(boxes_.boxes()[0].text, QStringLiteral("検索を中断しました。"));
}

// The readings of the keys and the button (as the X server gives them) that interrupt a
// search: only a press after a reading that saw the key or button up counts.
TEST(NewPressRule, OnlyAPressAfterARelease) {
    NewPressRule rule;
    EXPECT_FALSE(rule.Check(kShiftDown | kRightButtonDown)) << "held at the start";
    EXPECT_FALSE(rule.Check(kShiftDown | kRightButtonDown));
    EXPECT_FALSE(rule.Check(std::nullopt)) << "a reading that failed changes nothing";
    EXPECT_FALSE(rule.Check(kShiftDown)) << "a release is no press";
    EXPECT_TRUE(rule.Check(kShiftDown | kRightButtonDown)) << "the button again";
    EXPECT_FALSE(rule.Check(kShiftDown | kRightButtonDown));
    EXPECT_TRUE(rule.Check(kControlDown)) << "Ctrl, while the others are released";
    EXPECT_FALSE(rule.Check(0u));
    EXPECT_TRUE(rule.Check(kShiftDown));

    NewPressRule unread;
    EXPECT_FALSE(unread.Check(std::nullopt));
    EXPECT_FALSE(unread.Check(kControlDown)) << "the first reading that succeeds is the start";
    EXPECT_FALSE(unread.Check(kControlDown));
}

TEST_F(ListBuildingTest, DroppedUrlsReachTheList) {
    MainWindow& f = Open();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(root_ + "/a.JPG")),
                  QUrl::fromLocalFile(QString::fromStdString(root_ + "/sub"))});
    f.DropMimeData(mime);
    EXPECT_EQ(f.Model().List().Entries(),
              (FileListType{root_ + "/a.JPG", root_ + "/sub/deep/d.jpg"}));
}

class NavigationTest : public MainWindowTest {
protected:
    MainWindow& OpenThree() {
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg"})
            paths_.push_back(WriteJpeg(dir_, name, 16, 16));
        return Open(paths_);
    }
    std::vector<std::string> paths_;
};

TEST_F(NavigationTest, MenuItemsStepThroughTheList) {
    MainWindow& f = OpenThree();
    f.Ui().nextItem->trigger();
    EXPECT_EQ(f.Model().List().Index(), 2);
    f.Ui().firstItem->trigger();
    EXPECT_EQ(f.Model().List().Index(), 1);
    f.Ui().previousItem->trigger();
    EXPECT_EQ(f.Model().List().Index(), 3);
    EXPECT_TRUE(Caption().contains(QString::fromStdString(paths_[2])));
    EXPECT_TRUE(Caption().endsWith(QStringLiteral("(3/3 files)")));
}

TEST_F(NavigationTest, KeysActWhateverTheModifiers) {
    MainWindow& f = OpenThree();
    QTest::keyClick(&f, Qt::Key_Right);
    EXPECT_EQ(f.Model().List().Index(), 2);
    QTest::keyClick(&f, Qt::Key_Space);
    EXPECT_EQ(f.Model().List().Index(), 3);
    QTest::keyClick(&f, Qt::Key_Space);
    EXPECT_EQ(f.Model().List().Index(), 1);
    QTest::keyClick(&f, Qt::Key_Left);
    EXPECT_EQ(f.Model().List().Index(), 3);
    QTest::keyPress(&f, Qt::Key_Control);
    QTest::keyRelease(&f, Qt::Key_Control);
    EXPECT_EQ(f.Model().List().Index(), 2);
    QTest::keyClick(&f, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(f.Model().List().Index(), 3);
    QTest::keyClick(&f, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(f.Model().List().Index(), 1);
    QTest::keyClick(&f, Qt::Key_A);
    QTest::keyClick(&f, Qt::Key_Return);
    EXPECT_EQ(f.Model().List().Index(), 1);
}

TEST_F(NavigationTest, SingleEntryKeepsTheItemsDisabledButKeysReloadIt) {
    const std::string only = WriteJpeg(dir_, "only.jpg", 16, 16);
    MainWindow& f = Open({only});
    EXPECT_FALSE(f.Ui().nextItem->isEnabled());
    QTest::keyClick(&f, Qt::Key_Space);
    EXPECT_EQ(f.Model().List().Index(), 1);
    QTest::keyClick(&f, Qt::Key_Left);
    EXPECT_EQ(f.Model().List().Index(), 1);
    EXPECT_TRUE(f.Ui().picture->HasPicture());
}

TEST_F(NavigationTest, FirstActivationSetsTheSharedSaveFolderOnce) {
    for (const char* name : {"1.jpg", "2.jpg"})
        paths_.push_back(WriteJpeg(dir_, name, 16, 16));
    SaveFolder folder;
    folder.Set("elsewhere");
    MainWindow f(paths_, &folder); // not shown, so not activated yet
    f.WindowActivated();
    EXPECT_EQ(folder.Path(), dir_.path().string());
    folder.Set("elsewhere");
    f.WindowActivated();
    EXPECT_EQ(folder.Path(), "elsewhere");
}
