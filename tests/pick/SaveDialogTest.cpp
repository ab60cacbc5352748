// The real save dialog, driven from timers while it runs modally: where it opens, the name it
// offers, the default suffix, the overwrite question.
#include "PickTestSupport.h"
#include "tests/support/QtText.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace tessaly::testing {
namespace {

namespace fs = std::filesystem;

// Runs `step` on the dialog once it is shown; a dialog the step leaves open is cancelled, so
// a failing test never hangs.
void WhenDialogShows(FileSavePictureDialog& seam, std::function<void(QFileDialog&)> step) {
    QTimer::singleShot(0, [&seam, step = std::move(step)] {
        QFileDialog* dialog = seam.Dialog();
        if (!dialog || !dialog->isVisible()) {
            ADD_FAILURE() << "the save dialog is not shown";
            if (dialog)
                dialog->reject();
            return;
        }
        step(*dialog);
        if (dialog->isVisible())
            QTimer::singleShot(0, dialog, &QDialog::reject);
    });
}

// The dialog's Save button, pressed.
void Accept(QFileDialog& dialog) {
    QMetaObject::invokeMethod(&dialog, "accept", Qt::DirectConnection);
}

QString TypedName(QFileDialog& dialog) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text() : QString();
}

TEST_F(PickWindowTest, RealDialogOpensInTheFolderAddsJpgAndOffersTheNameAgain) {
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(64, 48), 64, 48, QString());
    auto* seam = dynamic_cast<FileSavePictureDialog*>(form.saveDialog.get());
    ASSERT_NE(seam, nullptr);
    folder_.Set(dir_.path().string());
    // The program runs in a folder that holds a folder of the name typed: the name is still
    // the dialog folder's file.
    const fs::path elsewhere = dir_ / "elsewhere";
    fs::create_directories(elsewhere / "picture");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(elsewhere)));
    const std::unique_ptr<const QString, void (*)(const QString*)> restore(
        &before, [](const QString* path) { QDir::setCurrent(*path); });

    QDir openedIn;
    QStringList filters;
    WhenDialogShows(*seam, [&](QFileDialog& dialog) {
        openedIn = dialog.directory();
        filters = dialog.nameFilters();
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("jpg"));
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_TRUE(dialog.isModal());
        dialog.selectFile(QStringLiteral("picture"));
        Accept(dialog);
    });
    form.saveActualItem->trigger();
    EXPECT_EQ(openedIn.absolutePath(), Q(dir_.path()));
    EXPECT_EQ(filters, QStringList{QStringLiteral("JPEG イメージファイル (*.jpg)")});
    EXPECT_TRUE(fs::exists(dir_ / "picture.jpg"));
    EXPECT_EQ(form.LastFileName(), Q(dir_ / "picture.jpg"));
    EXPECT_TRUE(boxes_.boxes().empty());

    // The next save offers that name, in the folder every pick window shares now.
    const fs::path other = dir_ / "other";
    fs::create_directory(other);
    folder_.Set(other.string());
    QString offered;
    WhenDialogShows(*seam, [&](QFileDialog& dialog) {
        openedIn = dialog.directory();
        offered = TypedName(dialog);
        dialog.reject();
    });
    form.saveShownItem->trigger();
    EXPECT_EQ(offered, QStringLiteral("picture.jpg"));
    EXPECT_EQ(openedIn.absolutePath(), Q(other));
    EXPECT_EQ(folder_.Path(), other.string()) << "cancelled: the folder stays";
    EXPECT_FALSE(fs::exists(other / "picture.jpg"));
}

TEST_F(PickWindowTest, RealDialogAsksBeforeOverwriting) {
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(64, 48), 64, 48, QString());
    auto* seam = dynamic_cast<FileSavePictureDialog*>(form.saveDialog.get());
    ASSERT_NE(seam, nullptr);
    const fs::path existing = dir_ / "old.jpg";
    fixtures::WriteFile(existing, {1, 2, 3});
    folder_.Set(dir_.path().string());

    bool asked = false;
    WhenDialogShows(*seam, [&](QFileDialog& dialog) {
        // The question is modal too: answer it from a timer, "No".
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    asked = true;
                    box->button(QMessageBox::No) ? box->button(QMessageBox::No)->click()
                                                 : box->reject();
                }
            }
        });
        dialog.selectFile(QStringLiteral("old.jpg"));
        Accept(dialog);
        EXPECT_TRUE(dialog.isVisible()) << "answering no keeps the dialog open";
    });
    form.saveActualItem->trigger();
    EXPECT_TRUE(asked);
    EXPECT_EQ(fixtures::ReadFile(existing), (fixtures::Bytes{1, 2, 3}));
}

TEST_F(PickWindowTest, RealDialogPreviewsTheSelectedJpegAndShowsNothingForOtherFiles) {
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(64, 48), 64, 48, QString());
    auto* seam = dynamic_cast<FileSavePictureDialog*>(form.saveDialog.get());
    ASSERT_NE(seam, nullptr);
    const fs::path photo = dir_ / "photo.jpg";
    fixtures::WriteFile(photo, fixtures::EncodeJpeg(fixtures::GradientBitmap(640, 480)));
    fixtures::WriteFile(dir_ / "text.jpg", {'n', 'o'});
    ASSERT_EQ(::mkfifo((dir_ / "pipe.jpg").c_str(), 0600), 0);
    folder_.Set(dir_.path().string());

    QSize shown;
    bool emptiedByText = false, emptiedByPipe = false;
    WhenDialogShows(*seam, [&](QFileDialog& dialog) {
        auto* preview = dialog.findChild<QLabel*>(QStringLiteral("savePreview"));
        ASSERT_NE(preview, nullptr);
        emit dialog.currentChanged(Q(photo));
        shown = preview->pixmap().deviceIndependentSize().toSize();
        emit dialog.currentChanged(Q(dir_ / "text.jpg"));
        emptiedByText = preview->pixmap().isNull();
        emit dialog.currentChanged(Q(photo));
        emit dialog.currentChanged(Q(dir_ / "pipe.jpg")); // not waited on
        emptiedByPipe = preview->pixmap().isNull();
        dialog.reject();
    });
    form.saveActualItem->trigger();
    EXPECT_EQ(shown, QSize(kSavePreviewSide, 120)) << "fitted, aspect kept";
    EXPECT_TRUE(emptiedByText);
    EXPECT_TRUE(emptiedByPipe);
    EXPECT_TRUE(boxes_.boxes().empty()) << "an unreadable file shows no box";

    // The preview is decoded at a reduced scale and never enlarged.
    EXPECT_EQ(SavePreviewImage(Q(photo), QSize(1000, 1000)).size(), QSize(640, 480));
    EXPECT_EQ(SavePreviewImage(Q(photo), QSize(80, 80)).size(), QSize(80, 60));
}

} // namespace
} // namespace tessaly::testing
