// Saving a pick where the file system refuses: a read-only folder and a full file system.
// The error box names the file, nothing is left behind, an existing file stays as it was,
// and the program goes on.
#include "pick/PickWindow.h"
#include "tests/robustness/HostileFiles.h"
#include "tests/support/QtText.h"
#include "viewer/PictureControl.h"
#include "viewer/SelectionShape.h"

#include <QAction>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::robustness {
namespace {

namespace fs = std::filesystem;
using fixtures::EncodeJpeg;
using fixtures::GradientBitmap;
using fixtures::ReadFile;
using fixtures::WriteFile;

using testing::Q;
const Bytes kOldFile = {0xFF, 0xD8, 'o', 'l', 'd', 0xFF, 0xD9};

class SaveFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        photo_ = (dir_ / "photo.JPG").string();
        WriteFile(photo_, EncodeJpeg(GradientBitmap(1000, 600, 9), {.quality = 90}));
    }

    // The whole picture picked into a new pick window (1000 x 600 at actual size).
    PickWindow& PickWholePicture(Viewer& viewer) {
        viewer->Ui().selectionItem->trigger();
        // The rectangle dragged onto the picture's corner, the handle to its other corner.
        const QRect image = viewer->Ui().picture->geometry();
        const QRect shape = viewer->Ui().selectionFrame->geometry();
        viewer->PressSelection(SelectionDrag::Move, Qt::LeftButton, 0, 0);
        viewer->DragSelection(SelectionDrag::Move, image.x() - shape.x(), image.y() - shape.y());
        viewer->ReleaseSelection(SelectionDrag::Move);
        const QRect handle = viewer->Ui().selectionHandle->geometry();
        viewer->PressSelection(SelectionDrag::Resize, Qt::LeftButton, 0, 0);
        viewer->DragSelection(SelectionDrag::Resize, image.right() - 2 - handle.x(),
                              image.bottom() - 2 - handle.y());
        viewer->ReleaseSelection(SelectionDrag::Resize);
        viewer->Ui().pickAreaItem->trigger();
        PickWindow* pick = viewer->CurrentPickWindow();
        EXPECT_NE(pick, nullptr);
        EXPECT_EQ(pick->windowTitle(), QStringLiteral("取出[1] サイズ(1000,600)"));
        return *pick;
    }

    // Saves the pick at actual size as `target` through the window's menu; expects the
    // error box for that file and the save folder unchanged.
    void ExpectSaveRefused(Viewer& viewer, PickWindow& pick, const fs::path& target) {
        SCOPED_TRACE(target.string());
        viewer.clearBoxes();
        const std::string before = viewer->Folder().Path();
        pick.saveDialog = std::make_unique<AnsweringSaveDialog>(Q(target));
        pick.saveActualItem->trigger();
        ASSERT_EQ(viewer.boxes().size(), 1u);
        EXPECT_EQ(viewer.boxes()[0].kind, BoxKind::Error);
        // The reason follows, as the system words it.
        const QString text = viewer.boxes()[0].text;
        EXPECT_TRUE(
            text.startsWith(QStringLiteral("ファイル %1 を作成できません: ").arg(Q(target))))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(QLatin1Char('.'))) << text.toStdString();
        EXPECT_EQ(viewer->Folder().Path(), before);
    }

    fixtures::TempDir dir_{"tessaly-robustness"};
    std::string photo_;

private:
};

TEST_F(SaveFailureTest, SaveIntoAReadOnlyFolderWritesNothing) {
    ScratchFileSystem scratch("size=1m,mode=0755");
    fs::path folder;
    if (scratch.mounted()) {
        folder = scratch.path();
        WriteFile(folder / "old.jpg", kOldFile);
        ASSERT_TRUE(scratch.MakeReadOnly());
    } else if (::geteuid() != 0) {
        folder = dir_ / "locked";
        WriteFile(folder / "old.jpg", kOldFile);
        // A writable file there would be rewritten in place.
        fs::permissions(folder / "old.jpg", fs::perms::owner_read);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    } else {
        GTEST_SKIP() << "root writes into any folder, and " << scratch.why();
    }
    Viewer viewer({photo_});
    PickWindow& pick = PickWholePicture(viewer);
    ExpectSaveRefused(viewer, pick, folder / "new.jpg");
    ExpectSaveRefused(viewer, pick, folder / "old.jpg");
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"old.jpg"});
    EXPECT_EQ(ReadFile(folder / "old.jpg"), kOldFile);

    // The program goes on: the same pick saves where it may.
    viewer.clearBoxes();
    pick.saveDialog = std::make_unique<AnsweringSaveDialog>(Q(dir_ / "saved.jpg"));
    pick.saveActualItem->trigger();
    EXPECT_TRUE(viewer.boxes().empty());
    EXPECT_GT(fs::file_size(dir_ / "saved.jpg"), 1000u);
    if (!scratch.mounted())
        fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(SaveFailureTest, SaveOntoAFullFileSystemWritesNothing) {
    ScratchFileSystem scratch("size=32k,mode=0755");
    if (!scratch.mounted())
        GTEST_SKIP() << "no full file system to write to: " << scratch.why();
    WriteFile(scratch.path() / "old.jpg", kOldFile);
    Viewer viewer({photo_});
    PickWindow& pick = PickWholePicture(viewer);
    ExpectSaveRefused(viewer, pick, scratch.path() / "new.jpg");
    ExpectSaveRefused(viewer, pick, scratch.path() / "old.jpg");
    EXPECT_EQ(FolderNames(scratch.path()), std::vector<std::string>{"old.jpg"})
        << "no partial or temporary file is left";
    EXPECT_EQ(ReadFile(scratch.path() / "old.jpg"), kOldFile);

    // A copy still works after the failures.
    viewer.clearBoxes();
    pick.copyActualItem->trigger();
    EXPECT_TRUE(viewer.boxes().empty());
}

} // namespace
} // namespace tessaly::robustness
