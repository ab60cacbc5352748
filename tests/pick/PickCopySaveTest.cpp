// Copying and saving from a pick window: the clipboard at actual and display size, the
// effects, JPEG files at level 8, the save dialog's folder and names, failures and cancel.
#include "PickTestSupport.h"
#include "base/FileReplace.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegWriter.h"
#include "resample/OutputPicture.h"
#include "tests/support/QtText.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QFile>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace tessaly::testing {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;

const QString kPickHint1000 = QStringLiteral("29.6%表示 実サイズ(1000,600)");

Bitmap Output(const Bitmap& picture, int width, int height, PictureEffect effect) {
    Bitmap out;
    MakeOutputPicture(picture, out, width, height, effect);
    return out;
}

QImage ClipboardImage() {
    return QGuiApplication::clipboard()->image();
}

// The bytes SaveJpegFile writes for a bitmap at level 8.
Bytes ReferenceJpeg(const fixtures::TempDir& dir, Bitmap bitmap) {
    JpegWriter jpeg(std::move(bitmap));
    const fs::path path = dir / "reference.bin";
    SaveJpegFile(jpeg, path, 8);
    Bytes bytes = fixtures::ReadFile(path);
    fs::remove(path);
    return bytes;
}

// The payloads of the quantisation table segments, in file order.
std::vector<Bytes> QuantisationTables(const Bytes& jpeg) {
    std::vector<Bytes> tables;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const int marker = jpeg[pos + 1];
        const std::size_t length = (std::size_t{jpeg[pos + 2]} << 8) | jpeg[pos + 3];
        if (marker == 0xDA || length < 2 || jpeg.size() - pos - 2 < length)
            break;
        if (marker == 0xDB)
            tables.emplace_back(jpeg.begin() + pos + 4, jpeg.begin() + pos + 2 + length);
        pos += 2 + length;
    }
    return tables;
}

class PickCopySaveTest : public PickWindowTest {
protected:
    // A 1000 x 600 pick shown at 296 x 178, as in a 593 x 428 main window.
    PickWindow& ShownLargePick() {
        PickWindow& form = NewWindow();
        ShowPick(form, picture_, 296, 178, kPickHint1000);
        return form;
    }

    const Bitmap picture_ = fixtures::GradientBitmap(1000, 600, 7);
};

TEST_F(PickCopySaveTest, CopiesPutTheActualOrDisplayedSizeOnTheClipboard) {
    PickWindow& form = ShownLargePick();
    QGuiApplication::clipboard()->clear();

    form.copyActualItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), picture_)) << "actual size: the picked pixels";

    form.copyShownItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), Output(picture_, 296, 178, PictureEffect::None)))
        << "display size: resampled from the actual pixels";

    // After a resize the display size follows the control.
    ResizeClient(form, 500, 400);
    form.copyShownItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), Output(picture_, 500, 300, PictureEffect::None)));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(PickCopySaveTest, EffectsApplyToCopiesWhileTheWindowShowsTheOriginal) {
    PickWindow& form = NewWindow();
    const Bitmap picture = fixtures::GradientBitmap(200, 150, 3);
    ShowPick(form, picture, 200, 150, QStringLiteral("100.0%表示 実サイズ(200,150)"));

    form.sepiaItem->trigger();
    form.copyActualItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), Output(picture, 200, 150, PictureEffect::Sepia)));
    form.copyShownItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), Output(picture, 200, 150, PictureEffect::Sepia)));
    EXPECT_TRUE(SameImage(form.picture->grab().toImage(), picture))
        << "the display keeps its colours";
    EXPECT_TRUE(form.picture->Picture().SamePixels(picture)) << "the picture itself is unaltered";

    form.monochromeItem->trigger();
    EXPECT_FALSE(form.sepiaItem->isChecked());
    form.copyActualItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), Output(picture, 200, 150, PictureEffect::Mono)));

    form.monochromeItem->trigger();
    form.copyActualItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), picture)) << "no effect checked";
}

TEST_F(PickCopySaveTest, BusyCursorCoversACopy) {
    PickWindow& form = ShownLargePick();
    std::optional<Qt::CursorShape> during;
    const auto connection =
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            during = cursor ? cursor->shape() : Qt::ArrowCursor;
        });
    form.copyShownItem->trigger();
    QObject::disconnect(connection);
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(*during, Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PickCopySaveTest, SavedFileIsJpegLevel8WhateverTheExtension) {
    PickWindow& form = ShownLargePick();
    auto& dialog = ScriptDialog(form);
    folder_.Set("/start/folder");
    const fs::path png = dir_ / "picked.png";
    dialog.answers = {Q(png)};

    form.saveActualItem->trigger();
    ASSERT_TRUE(boxes_.boxes().empty()) << boxes_.boxes().front().text.toStdString();
    ASSERT_EQ(dialog.offers.size(), 1u);
    EXPECT_EQ(dialog.offers[0].initialDir, QStringLiteral("/start/folder"));
    EXPECT_EQ(dialog.offers[0].fileName, QString());
    ASSERT_TRUE(fs::exists(png));
    const Bytes saved = fixtures::ReadFile(png);
    EXPECT_EQ(saved, ReferenceJpeg(dir_, picture_));
    // Quality 94: the tables libjpeg derives for that quality.
    const Bytes q94 = fixtures::EncodeJpeg(fixtures::SolidBitmap(8, 8, 0, 0, 0), {.quality = 94});
    EXPECT_EQ(QuantisationTables(saved), QuantisationTables(q94));
    EXPECT_NE(QuantisationTables(saved),
              QuantisationTables(
                  fixtures::EncodeJpeg(fixtures::SolidBitmap(8, 8, 0, 0, 0), {.quality = 90})));
    const Bitmap decoded = DecodeJpeg(saved);
    EXPECT_EQ(decoded.Width(), 1000);
    EXPECT_EQ(decoded.Height(), 600);
    EXPECT_EQ(folder_.Path(), dir_.path().string());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PickCopySaveTest, DisplaySizeSaveWithSepiaAndTheDialogRemembersTheName) {
    PickWindow& form = ShownLargePick();
    auto& dialog = ScriptDialog(form);
    const fs::path first = dir_ / "a.jpg";
    const fs::path sub = dir_ / "sub";
    fs::create_directory(sub);
    const fs::path second = sub / "b.jpg";
    dialog.answers = {Q(first), Q(second)};

    form.sepiaItem->trigger();
    form.saveShownItem->trigger();
    EXPECT_EQ(fixtures::ReadFile(first),
              ReferenceJpeg(dir_, Output(picture_, 296, 178, PictureEffect::Sepia)));
    EXPECT_EQ(folder_.Path(), dir_.path().string());

    form.saveShownItem->trigger();
    ASSERT_EQ(dialog.offers.size(), 2u);
    EXPECT_EQ(dialog.offers[1].initialDir, Q(dir_.path()));
    EXPECT_EQ(dialog.offers[1].fileName, Q(first)) << "the name chosen last is offered again";
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(folder_.Path(), sub.string());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(PickCopySaveTest, CancellingChangesNothing) {
    PickWindow& form = ShownLargePick();
    auto& dialog = ScriptDialog(form);
    const fs::path kept = dir_ / "kept.jpg";
    dialog.answers = {Q(kept), std::nullopt, std::nullopt};
    form.saveActualItem->trigger();
    const Bytes before = fixtures::ReadFile(kept);
    folder_.Set("/elsewhere");

    form.sepiaItem->trigger();
    form.saveActualItem->trigger();
    form.saveShownItem->trigger();
    EXPECT_EQ(folder_.Path(), "/elsewhere");
    EXPECT_EQ(form.LastFileName(), Q(kept));
    EXPECT_EQ(fixtures::ReadFile(kept), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(boxes_.boxes().empty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PickCopySaveTest, FileThatCannotBeCreatedShowsTheErrorAndKeepsTheFolder) {
    PickWindow& form = ShownLargePick();
    auto& dialog = ScriptDialog(form);
    fixtures::WriteFile(dir_ / "plain", {1, 2, 3});
    const fs::path impossible = dir_ / "plain" / "x.jpg"; // its folder is a file
    dialog.answers = {Q(impossible)};
    folder_.Set("/before");

    form.saveActualItem->trigger();
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(boxes_.boxes()[0].text,
              QStringLiteral("ファイル %1 を作成できません: %2.")
                  .arg(Q(impossible), QString::fromStdString(SystemReason(ENOTDIR))));
    EXPECT_EQ(folder_.Path(), "/before");
    EXPECT_FALSE(fs::exists(impossible));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "busy cursor released on failure";
}

// A folder holding one file, locked against writing for the life of the object and unlocked
// again (so that it can be removed) however the test ends.
class LockedFolder {
public:
    LockedFolder(const std::string& name, const Bytes& bytes) {
        fixtures::WriteFile(dir_ / name, bytes);
        // A writable file there would be rewritten in place.
        fs::permissions(dir_ / name, fs::perms::owner_read);
        fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    ~LockedFolder() { fs::permissions(dir_.path(), fs::perms::owner_all); }
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;
    const fixtures::TempDir& dir() const { return dir_; }

private:
    fixtures::TempDir dir_{"tessaly-pick-locked"};
};

TEST_F(PickCopySaveTest, FailedSaveLeavesAnExistingFileUntouched) {
    // A folder this process cannot write to; as root only a read-only file system refuses.
    fs::path target;
    std::optional<LockedFolder> locked;
    if (::geteuid() != 0) {
        locked.emplace("old.jpg", Bytes{0xFF, 0xD8, 0x01, 0x02});
        target = locked->dir() / "old.jpg";
    } else {
        target = "/proc/version";
        if (!fs::exists(target))
            GTEST_SKIP() << "no unwritable folder available";
    }
    const Bytes before = fixtures::ReadFile(target);
    PickWindow& form = ShownLargePick();
    ScriptDialog(form).answers = {Q(target)};
    folder_.Set("/before");

    form.saveActualItem->trigger();
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].text,
              QStringLiteral("ファイル %1 を作成できません: %2.")
                  .arg(Q(target), QString::fromStdString(SystemReason(EACCES))));
    EXPECT_EQ(fixtures::ReadFile(target), before);
    EXPECT_EQ(folder_.Path(), "/before");
}

TEST_F(PickCopySaveTest, WindowsKeepTheirOwnEffectsAndNamesButShareTheFolder) {
    PickWindow& one = ShownLargePick();
    PickWindow& two = NewWindow();
    const Bitmap small = fixtures::GradientBitmap(200, 150, 5);
    ShowPick(two, small, 200, 150, QStringLiteral("100.0%表示 実サイズ(200,150)"), {60, 60});
    auto& dialogOne = ScriptDialog(one);
    auto& dialogTwo = ScriptDialog(two);
    const fs::path folderOne = dir_ / "one";
    const fs::path folderTwo = dir_ / "two";
    fs::create_directory(folderOne);
    fs::create_directory(folderTwo);
    folder_.Set(dir_.path().string());

    one.sepiaItem->trigger();
    two.monochromeItem->trigger();
    EXPECT_TRUE(one.sepiaItem->isChecked());
    EXPECT_FALSE(one.monochromeItem->isChecked());
    EXPECT_TRUE(two.monochromeItem->isChecked());
    EXPECT_FALSE(two.sepiaItem->isChecked());

    dialogOne.answers = {Q(folderOne / "first.jpg"), Q(folderOne / "again.jpg")};
    dialogTwo.answers = {Q(folderTwo / "second.jpg"), Q(folderTwo / "more.jpg")};
    one.saveActualItem->trigger();
    two.saveActualItem->trigger();
    EXPECT_EQ(dialogTwo.offers[0].initialDir, Q(folderOne)) << "the folder one saved in";
    one.saveActualItem->trigger();
    EXPECT_EQ(dialogOne.offers[1].initialDir, Q(folderTwo));
    EXPECT_EQ(dialogOne.offers[1].fileName, Q(folderOne / "first.jpg"));
    two.saveActualItem->trigger();
    EXPECT_EQ(dialogTwo.offers[1].fileName, Q(folderTwo / "second.jpg"));

    EXPECT_EQ(fixtures::ReadFile(folderOne / "first.jpg"),
              ReferenceJpeg(dir_, Output(picture_, 1000, 600, PictureEffect::Sepia)));
    EXPECT_EQ(fixtures::ReadFile(folderTwo / "second.jpg"),
              ReferenceJpeg(dir_, Output(small, 200, 150, PictureEffect::Mono)));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(PickCopySaveTest, WindowOnlyEverExportsItsOwnCopyOfThePicture) {
    PickWindow& form = NewWindow();
    Bitmap source = fixtures::GradientBitmap(200, 150, 11);
    const Bitmap original = source;
    ShowPick(form, source, 200, 150, QStringLiteral("100.0%表示 実サイズ(200,150)"));
    source.Fill(0, 0, 255); // the caller's bitmap is reused for the next pick
    source = Bitmap();
    form.copyActualItem->trigger();
    EXPECT_TRUE(SameImage(ClipboardImage(), original));
}

TEST(SaveFolderOf, FolderWithoutItsFinalSeparator) {
    EXPECT_EQ(SaveFolderOf(QStringLiteral("/photo/2006/a.jpg")), "/photo/2006");
    EXPECT_EQ(SaveFolderOf(QStringLiteral("/a.jpg")), "/") << "the root stays a folder";
    EXPECT_EQ(SaveFolderOf(QStringLiteral("a.jpg")), "");
    EXPECT_EQ(SaveFolderOf(QStringLiteral("/写真/旅行/b.jpg")), "/写真/旅行");
}

} // namespace
} // namespace tessaly::testing
