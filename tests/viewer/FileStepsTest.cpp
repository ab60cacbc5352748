// The shown file moved to the Trash, deleted for good, moved and copied to a folder and the
// steps undone through the window's keys; and the list following another program's changes
// in the folders it was built from. The file steps themselves are tested with the file
// library; here, what the window makes of them.
#include "MainWindowFixture.h"
#include "viewer/FileCommands.h"
#include "viewer/ListFolders.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

namespace fs = std::filesystem;

// A generous cap for what the window does on its own (folder changes, a copy on the worker).
constexpr int kCapMs = 10000;

class FileStepsTest : public MainWindowTest {
protected:
    // Three pictures of different widths, so the shown one can be told by its size.
    void SetUp() override {
        fs::create_directories(dir_ / "home");
        a_ = WriteJpeg(dir_, "pics/a.jpg", 40, 30);
        b_ = WriteJpeg(dir_, "pics/b.jpg", 50, 30);
        c_ = WriteJpeg(dir_, "pics/c.jpg", 60, 30);
        pics_ = (dir_ / "pics").string();
    }
    int ShownWidth() { return Form().Model().PictureSize().width; }
    const std::string& ShownPath() {
        return Form().Model().List().Path(Form().Model().List().Index());
    }
    // Answers the next folder dialog with `folder`, noting the folder it opened in; a step
    // that does not ask leaves the answer unused (see NoDialogWasShown).
    void AnswerFolderDialog(const std::string& folder) {
        QTimer::singleShot(0, [this, folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedIn_ = dialog->directory().absolutePath().toStdString();
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            dialog->setDirectory(QString::fromStdString(folder));
            dialog->selectFile(QString::fromStdString(folder));
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
    }

    ScopedEnv home_{"HOME", (dir_ / "home").string()};
    std::string a_, b_, c_, pics_, openedIn_;
};

TEST_F(FileStepsTest, DeleteTrashesAndShowsTheNextCtrlZBringsItBackEvenAfterCtrlSteppedBack) {
    const fixtures::Bytes bytes = fixtures::ReadFile(a_);
    MainWindow& f = Open({pics_});
    ASSERT_EQ(ShownPath(), a_);

    // The next is shown at once; the file moves on a worker thread.
    QTest::keyClick(&f, Qt::Key_Delete);
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{b_, c_}));
    EXPECT_EQ(ShownPath(), b_);
    EXPECT_EQ(ShownWidth(), 50);
    EXPECT_TRUE(Caption().contains(QStringLiteral("(1/2 files)")));
    ASSERT_TRUE(WaitUntil([&] { return !f.Files().Busy(); }, std::chrono::milliseconds(kCapMs)));
    EXPECT_FALSE(fs::exists(a_));
    EXPECT_TRUE(fs::exists(dir_ / "data/Trash/files/a.jpg"));

    // The Ctrl of Ctrl+Z steps back first (to c); the file put back is shown all the same.
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(fixtures::ReadFile(a_), bytes);
    EXPECT_FALSE(fs::exists(dir_ / "data/Trash/info/a.jpg.trashinfo"));
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{a_, b_, c_}));
    EXPECT_EQ(ShownPath(), a_);
    EXPECT_EQ(ShownWidth(), 40);
    EXPECT_TRUE(Caption().contains(QStringLiteral("(1/3 files)")));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(FileStepsTest, TrashingTheOnlyEntryLeavesAnEmptyListThatUndoFillsAgain) {
    MainWindow& f = Open({a_});
    QTest::keyClick(&f, Qt::Key_Delete);
    EXPECT_TRUE(f.Model().List().Empty());
    EXPECT_FALSE(f.Ui().picture->HasPicture());
    EXPECT_EQ(Caption(), QString::fromStdString(ViewerModel::StartupCaption()));

    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{a_}));
    EXPECT_TRUE(f.Ui().picture->HasPicture());
    EXPECT_EQ(ShownWidth(), 40);

    // Nothing left to undo: nothing happens, and no box.
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(a_));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(FileStepsTest, ShiftDeleteAsksOnceAndDeletesOnlyOnYesWithoutUndo) {
    MainWindow& f = Open({pics_});
    QTest::keyClick(&f, Qt::Key_Delete, Qt::ShiftModifier); // answered No
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Question);
    EXPECT_TRUE(boxes_.boxes()[0].text.contains(QStringLiteral("完全に削除しますか？")));
    EXPECT_TRUE(boxes_.boxes()[0].text.contains(QStringLiteral("a.jpg")));
    EXPECT_TRUE(boxes_.boxes()[0].text.contains(QStringLiteral("元に戻せません")));
    EXPECT_TRUE(fs::exists(a_));
    EXPECT_EQ(f.Model().List().Count(), 3);

    boxes_.clear();
    boxes_.SetAnswer(true);
    QTest::keyClick(&f, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_FALSE(fs::exists(a_));
    EXPECT_FALSE(fs::exists(dir_ / "data/Trash/files/a.jpg"));
    EXPECT_EQ(ShownPath(), b_);
    EXPECT_TRUE(f.Files().Steps().Empty());
}

TEST_F(FileStepsTest, MoveAskingThenMoveAgainWithoutAskingThenCopyAllUndone) {
    const std::string out = (dir_ / "out").string();
    fs::create_directories(out);
    MainWindow& f = Open({pics_});

    AnswerFolderDialog(out);
    QTest::keyClick(&f, Qt::Key_M);
    EXPECT_EQ(openedIn_, pics_); // first in the shown file's folder
    EXPECT_TRUE(fs::exists(out + "/a.jpg"));
    EXPECT_FALSE(fs::exists(a_));
    EXPECT_EQ(ShownPath(), b_);

    QTest::keyClick(&f, Qt::Key_M, Qt::ShiftModifier); // no dialog: none is answered
    EXPECT_TRUE(fs::exists(out + "/b.jpg"));
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{c_}));

    // A copy runs on the worker thread; the dialog opens in the folder used last.
    AnswerFolderDialog(out);
    QTest::keyClick(&f, Qt::Key_C);
    EXPECT_EQ(openedIn_, out);
    ASSERT_TRUE(WaitUntil([&] { return !f.Files().Busy(); }, std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(fixtures::ReadFile(out + "/c.jpg"), fixtures::ReadFile(c_));
    EXPECT_EQ(f.Files().Steps().Size(), 3u);

    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier); // the copy removed
    EXPECT_FALSE(fs::exists(out + "/c.jpg"));
    EXPECT_TRUE(fs::exists(c_));
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(a_));
    EXPECT_TRUE(fs::exists(b_));
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{a_, b_, c_}));
    EXPECT_EQ(ShownPath(), a_);
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(FileStepsTest, UndoThatCannotPutTheFileBackSaysWhyAndOverwritesNothing) {
    MainWindow& f = Open({pics_});
    QTest::keyClick(&f, Qt::Key_Delete);
    ASSERT_TRUE(WaitUntil([&] { return !f.Files().Busy(); }, std::chrono::milliseconds(kCapMs)));
    // Another program makes a new a.jpg meanwhile.
    const std::string other = WriteJpeg(dir_, "pics/a.jpg", 70, 30);
    const fixtures::Bytes bytes = fixtures::ReadFile(other);
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(fixtures::ReadFile(a_), bytes);
    EXPECT_TRUE(fs::exists(dir_ / "data/Trash/files/a.jpg"));
}

TEST_F(FileStepsTest, TrashThatFailsBringsTheFileBackToTheListAndSaysWhy) {
    fixtures::WriteFile(dir_ / "data/Trash", fixtures::Bytes{}); // no folder can be made there
    const fixtures::Bytes bytes = fixtures::ReadFile(a_);
    MainWindow& f = Open({pics_});
    QTest::keyClick(&f, Qt::Key_Delete);
    ASSERT_TRUE(WaitUntil([&] { return !f.Files().Busy(); }, std::chrono::milliseconds(kCapMs)));
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Error);
    EXPECT_TRUE(boxes_.boxes()[0].text.contains(QStringLiteral("ゴミ箱へ移動できません")));
    EXPECT_EQ(fixtures::ReadFile(a_), bytes);
    EXPECT_EQ(f.Model().List().Entries(), (FileListType{a_, b_, c_}));
    EXPECT_EQ(ShownPath(), a_);
    EXPECT_EQ(ShownWidth(), 40);
    EXPECT_TRUE(f.Files().Steps().Empty());
}

// A list of relative paths: the file put back by Ctrl+Z rejoins it as it was spelled, and the
// watcher's report of its return neither lists it twice nor shows it anew.
TEST_F(FileStepsTest, UndoneTrashIsListedOnceAndNotShownAgainWhenTheWatcherSeesIt) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_.path());
    struct Back {
        fs::path to;
        ~Back() { fs::current_path(to); }
    } const back{before};
    MainWindow& f = Open({"pics"});
    const ImageList& list = f.Model().List();
    ASSERT_EQ(ShownPath(), "pics/a.jpg");
    QTest::keyClick(&f, Qt::Key_Delete);
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(ShownPath(), "pics/a.jpg");
    const std::shared_ptr<LoadedPicture> shown = f.Ui().picture->Picture();

    // A later change, read after the file's return: once it is in, so is the return.
    WriteJpeg(dir_, "pics/d.jpg", 20, 20);
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 4; }, std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(list.Entries(),
              (FileListType{"pics/a.jpg", "pics/b.jpg", "pics/c.jpg", "pics/d.jpg"}));
    EXPECT_EQ(ShownPath(), "pics/a.jpg");
    EXPECT_EQ(f.Ui().picture->Picture(), shown) << "opened and decoded once";
    EXPECT_TRUE(Caption().contains(QStringLiteral("(1/4 files)")));
}

// A turn by the tag rewrites the shown file: the watcher's report of it is the window's own
// change, and the picture it shows already is not opened and decoded again.
TEST_F(FileStepsTest, OwnTurnIsNotShownAgainWhenTheWatcherSeesIt) {
    MainWindow& f = Open({pics_});
    ASSERT_EQ(ShownPath(), a_);
    f.PressKey(Qt::Key_R);
    const std::shared_ptr<LoadedPicture> shown = f.Ui().picture->Picture();
    // A later change, read after the turn's: once it is in, so is the turn.
    WriteJpeg(dir_, "pics/d.jpg", 20, 20);
    ASSERT_TRUE(WaitUntil([&] { return f.Model().List().Count() == 4; },
                          std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(f.Ui().picture->Picture(), shown) << "decoded once";
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier); // turned back, shown from its file
    EXPECT_EQ(ShownPath(), a_);
}

// The folders watched: the named files' folders and the named folders breadth first, each
// real folder once, up to the bound; the rest are left out.
TEST(ListFolders, NamedFilesFoldersThenEachTreeUpToTheBound) {
    fixtures::TempDir dir("tessaly-list-folders");
    for (const char* folder : {"x", "t/1", "t/2/3"})
        fs::create_directories(dir / folder);
    fs::create_directory_symlink(dir / "t/2", dir / "t/link");
    const std::string x = (dir / "x").string(), t = (dir / "t").string();
    const std::vector<std::string> named{x + "/a.jpg", t, x + "/b.JPG"};
    EXPECT_EQ(ListFolders(named, 2), (std::vector<std::string>{x, t}));
    std::vector<std::string> all = ListFolders(named, FolderWatcher::kMaxFolders);
    std::sort(all.begin() + 2, all.end());
    EXPECT_EQ(all.size(), 5u) << "the link's folder once";
    EXPECT_EQ(all[0], x);
    EXPECT_EQ(all[1], t);
    EXPECT_EQ(all[2], t + "/1");
    EXPECT_TRUE(all[3] == t + "/2" || all[3] == t + "/link");
    EXPECT_TRUE(all[4] == t + "/2/3" || all[4] == t + "/link/3");
}

// After the watcher's queue overflowed the list is compared with the folders as they are:
// files gone leave, files present join in order, the shown entry stays.
TEST(FollowChanges, AfterAnOverflowTheListMatchesTheFolders) {
    fixtures::TempDir dir("tessaly-follow-overflow");
    const auto path = [&](const char* name) { return (dir / name).string(); };
    for (const char* name : {"a.jpg", "c.jpg", "e.jpg"})
        fixtures::WriteFile(dir / name, fixtures::Bytes{1});
    ImageList list;
    list.Replace({path("a.jpg"), path("b.jpg"), path("c.jpg")});
    list.SetIndex(3);
    FolderChanges changes;
    changes.overflowed = true;
    changes.present = {path("e.jpg"), path("c.jpg"), path("a.jpg")};
    EXPECT_FALSE(FollowChanges(list, changes, {}));
    EXPECT_EQ(list.Entries(), (FileListType{path("a.jpg"), path("c.jpg"), path("e.jpg")}));
    EXPECT_EQ(list.Index(), 2);
}

TEST_F(FileStepsTest, ListFollowsFilesMadeRemovedAndRewrittenInTheWatchedFolders) {
    fs::create_directories(dir_ / "pics/sub");
    MainWindow& f = Open({pics_});
    const ImageList& list = f.Model().List();
    ASSERT_EQ(ShownPath(), a_);

    // A new picture, in a subfolder too, joins in order; the shown entry stays.
    const std::string d = WriteJpeg(dir_, "pics/sub/d.JPG", 20, 20);
    const std::string bb = WriteJpeg(dir_, "pics/bb.jpg", 20, 20);
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 5; }, std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(list.Entries(), (FileListType{a_, b_, bb, c_, d}));
    EXPECT_EQ(ShownPath(), a_);
    EXPECT_TRUE(Caption().contains(QStringLiteral("(1/5 files)")));

    // Another file removed leaves; the shown one removed gives way to the next.
    fs::remove(c_);
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 4; }, std::chrono::milliseconds(kCapMs)));
    fs::remove(a_);
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(ShownPath(), b_);
    EXPECT_EQ(ShownWidth(), 50);

    // The shown file rewritten in place is shown anew.
    fixtures::WriteFile(b_, fixtures::ReadFile(WriteJpeg(dir_, "other/b.jpg", 80, 30)));
    ASSERT_TRUE(WaitUntil([&] { return ShownWidth() == 80; }, std::chrono::milliseconds(kCapMs)));
    EXPECT_EQ(ShownPath(), b_);
}

} // namespace
