// Damaged and unusual JPEG files shown in the main window: the program keeps running,
// shows the files it can, and says only what its messages say.
#include "jpeg/JpegDecoder.h"
#include "tests/robustness/HostileFiles.h"
#include "tests/support/QtText.h"
#include "viewer/PictureControl.h"

#include <QTest>
#include <gtest/gtest.h>

namespace tessaly::robustness {
namespace {

namespace fs = std::filesystem;
using fixtures::EncodeJpeg;
using fixtures::GradientBitmap;
using fixtures::WriteFile;

using testing::Q;
bool HeaderReadable(const Bytes& bytes) {
    try {
        ReadJpegHeader(bytes);
        return true;
    } catch (const JpegError&) {
        return false;
    }
}

std::string Numbered(const fs::path& folder, int n) {
    char name[16];
    std::snprintf(name, sizeof name, "t%03d.JPG", n);
    return (folder / name).string();
}

class DamagedFileTest : public ::testing::Test {
protected:
    fixtures::TempDir dir_{"tessaly-robustness"};

    void Next(Viewer& viewer) { QTest::keyClick(&viewer.form(), Qt::Key_Right); }
};

// Every 1 % truncation of a file, shown in turn: no message, the caption names each file,
// and a file whose header survived is delivered by the picture pipeline as a picture of its
// full size (the part that was cut off drawn grey). Returns the truncations whose decode
// failed, with libjpeg's reason.
std::string CheckEveryTruncation(const fs::path& folder, const Bytes& original) {
    std::string undecoded;
    for (int percent = 0; percent <= 100; ++percent)
        WriteFile(Numbered(folder, percent), Truncated(original, percent));
    Viewer viewer({folder.string()});
    for (int percent = 0; percent <= 100; ++percent) {
        SCOPED_TRACE(percent);
        const std::string path = Numbered(folder, percent);
        if (percent > 0)
            QTest::keyClick(&viewer.form(), Qt::Key_Right);
        viewer.paint();
        EXPECT_TRUE(viewer.boxes().empty());
        EXPECT_TRUE(IsEntryCaption(viewer.caption(), path, percent + 1, 101))
            << viewer.caption().toStdString();
        const Bytes bytes = Truncated(original, percent);
        PictureControl& image = *viewer->Ui().picture;
        EXPECT_EQ(image.HasPicture(), HeaderReadable(bytes));
        if (!image.HasPicture())
            continue;
        const LoadedPicture& picture = *image.Picture();
        const DecodedPicture* pixels = picture.FullPixels();
        if (!pixels) {
            undecoded += " " + std::to_string(percent) + " % (" + picture.Error() + ")";
            continue;
        }
        EXPECT_EQ(pixels->Width(), 160);
        EXPECT_EQ(pixels->Height(), 120);
    }
    return undecoded;
}

TEST_F(DamagedFileTest, EveryTruncationOfABaselineFileShowsWithoutAMessage) {
    const Bytes baseline = EncodeJpeg(GradientBitmap(160, 120, 7), {.quality = 85});
    EXPECT_EQ(CheckEveryTruncation(dir_ / "baseline", baseline), "");
}

TEST_F(DamagedFileTest, EveryTruncationOfAProgressiveFileShowsWithoutAMessage) {
    const Bytes progressive =
        EncodeJpeg(GradientBitmap(160, 120, 8), {.quality = 85, .progressive = true});
    // A cut inside the tables or scan header of a later scan still shows the scans before.
    EXPECT_EQ(CheckEveryTruncation(dir_ / "progressive", progressive), "");
}

TEST_F(DamagedFileTest, HalfABaselineFileShowsItsUpperPartAndGreyBelow) {
    const Bytes baseline = EncodeJpeg(GradientBitmap(160, 120, 7), {.quality = 85});
    const std::string path = (dir_ / "half.JPG").string();
    WriteFile(path, Truncated(baseline, 50));
    Viewer viewer({path});
    viewer.paint();
    const DecodedPicture* kept = viewer->Ui().picture->Picture()->FullPixels();
    ASSERT_NE(kept, nullptr);
    const Bitmap whole = kept->Copy(0, 0, kept->Width(), kept->Height());
    const Bitmap* pixels = &whole;
    const std::uint8_t* last = pixels->Row(119);
    for (int x = 0; x < 160 * 3; ++x)
        ASSERT_EQ(last[x], last[0]) << "the last row is one grey, byte " << x;
    const std::uint8_t* first = pixels->Row(0);
    EXPECT_FALSE(std::equal(first, first + 160 * 3, last)) << "the first rows were decoded";
    EXPECT_TRUE(viewer.boxes().empty());
}

// Random bytes overwritten here and there: every file is shown or left empty without a
// message, except a frame header that now declares a picture too large to decode.
TEST_F(DamagedFileTest, RandomlyCorruptedFilesNeverStopTheProgram) {
    const Bytes originals[] = {
        EncodeJpeg(GradientBitmap(96, 64, 3), {.quality = 80}),
        EncodeJpeg(GradientBitmap(96, 64, 4), {.quality = 80, .progressive = true}),
    };
    constexpr int kPerOriginal = 150;
    for (int kind = 0; kind < 2; ++kind)
        for (int i = 0; i < kPerOriginal; ++i)
            WriteFile(
                Numbered(dir_.path(), kind * kPerOriginal + i),
                Corrupted(originals[kind], static_cast<unsigned>(kind * 1000 + i), 1 + i % 8));
    Viewer viewer({dir_.path().string()});
    for (int n = 0; n < 2 * kPerOriginal; ++n) {
        SCOPED_TRACE(n);
        const std::string path = Numbered(dir_.path(), n);
        if (n > 0) {
            viewer.clearBoxes();
            Next(viewer);
        }
        viewer.paint();
        if (viewer.boxes().empty()) {
            EXPECT_TRUE(IsEntryCaption(viewer.caption(), path, n + 1, 2 * kPerOriginal))
                << viewer.caption().toStdString();
        } else {
            ASSERT_EQ(viewer.boxes().size(), 1u);
            EXPECT_EQ(viewer.boxes()[0].kind, BoxKind::Error);
            EXPECT_TRUE(viewer.boxes()[0].text.startsWith(
                QStringLiteral("ファイル %1 は大きすぎて表示できません (").arg(Q(path))))
                << viewer.boxes()[0].text.toStdString();
        }
    }
    EXPECT_EQ(viewer->Model().List().Index(), 2 * kPerOriginal);
}

TEST_F(DamagedFileTest, EmptyFileKeepsThePreviousLayoutAndSaysNothing) {
    const std::string photo = (dir_ / "a.JPG").string();
    const std::string empty = (dir_ / "b.JPG").string();
    WriteFile(photo, EncodeJpeg(GradientBitmap(400, 300, 1)));
    WriteFile(empty, {});
    Viewer viewer({photo, empty});
    const QRect shown = viewer->Ui().picture->geometry();
    Next(viewer);
    viewer.paint();
    EXPECT_TRUE(viewer.boxes().empty());
    EXPECT_FALSE(viewer->Ui().picture->HasPicture());
    EXPECT_EQ(viewer->Snapshot().picture.width, 400);
    EXPECT_EQ(viewer->Ui().picture->geometry(), shown);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](2/2 files)").arg(Q(empty)));
}

TEST_F(DamagedFileTest, EmptyFileFirstShowsNoPercentageAndSaysNothing) {
    const std::string empty = (dir_ / "a.JPG").string();
    WriteFile(empty, {});
    Viewer viewer({empty});
    viewer.paint();
    EXPECT_TRUE(viewer.boxes().empty());
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [0.0%](1/1 files)").arg(Q(empty)));
    EXPECT_EQ(viewer->Snapshot().ratio, 100.0L);
    // The view's commands on an empty picture change nothing and say nothing.
    viewer->Ui().actualSizeItem->trigger();
    viewer->Ui().zoomIn5Item->trigger();
    viewer->Ui().fitItem->trigger();
    viewer->Ui().selectionItem->trigger();
    viewer->Ui().copyAreaItem->trigger();
    viewer->Ui().pickAreaItem->trigger();
    viewer.paint();
    EXPECT_TRUE(viewer.boxes().empty());
}

TEST_F(DamagedFileTest, OnePixelPictureSurvivesZoomSelectionCopyAndPick) {
    const std::string dot = (dir_ / "dot.JPG").string();
    WriteFile(dot, EncodeJpeg(fixtures::SolidBitmap(1, 1, 10, 20, 30)));
    Viewer viewer({dot});
    EXPECT_EQ(viewer->Ui().picture->geometry(), QRect(292, 196, 1, 1));
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/1 files)").arg(Q(dot)));
    // 125 %: a panel of one pixel, whose interior (and so the shown picture) is empty.
    viewer->Ui().zoomIn5Item->trigger();
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [0.0%](1/1 files)").arg(Q(dot)));
    for (QAction* item : {viewer->Ui().zoomIn5Item, viewer->Ui().zoomOut5Item,
                          viewer->Ui().actualSizeItem, viewer->Ui().fitItem}) {
        item->trigger();
        viewer.paint();
    }
    viewer->Ui().selectionItem->trigger();
    viewer->ShowSelectionCaption(true);
    const QString selection = viewer.caption();
    viewer->Ui().copyAreaItem->trigger();
    viewer->Ui().pickAreaItem->trigger();
    viewer.paint();
    EXPECT_TRUE(viewer.boxes().empty()) << viewer.boxes()[0].text.toStdString();
    EXPECT_EQ(viewer->Snapshot().pickCount, 0) << "no pick of an empty area";
    // The next load shows the picture again.
    QTest::keyClick(&viewer.form(), Qt::Key_Right);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/1 files)").arg(Q(dot)));
    // With nothing shown the displayed ratio is 0: the selection has no actual size.
    EXPECT_TRUE(selection.endsWith(QStringLiteral("実サイズ[   0,   0]")))
        << selection.toStdString();
}

TEST_F(DamagedFileTest, HeaderDeclaringAHugePictureIsRefusedWithItsMessage) {
    const std::string photo = (dir_ / "a.JPG").string();
    const std::string huge = (dir_ / "b.JPG").string();
    WriteFile(photo, EncodeJpeg(GradientBitmap(400, 300, 1)));
    WriteFile(huge, WithDeclaredSize(EncodeJpeg(GradientBitmap(64, 64, 2)), 65500, 65500));
    Viewer viewer({photo, huge});
    const QString before = viewer.caption();
    Next(viewer);
    viewer.paint();
    ASSERT_EQ(viewer.boxes().size(), 1u);
    EXPECT_EQ(viewer.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(
        viewer.boxes()[0].text,
        QStringLiteral("ファイル %1 は大きすぎて表示できません (65500 x 65500).").arg(Q(huge)));
    EXPECT_EQ(viewer.caption(), before);
    EXPECT_EQ(viewer->Snapshot().picture.width, 400);
    // The program goes on: the next key shows the first picture again.
    viewer.clearBoxes();
    Next(viewer);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/2 files)").arg(Q(photo)));
    EXPECT_TRUE(viewer.boxes().empty());
}

TEST_F(DamagedFileTest, CmykFileShowsInItsColours) {
    const std::string path = (dir_ / "cmyk.JPG").string();
    WriteFile(path, EncodeJpeg(fixtures::SolidBitmap(64, 48, 40, 120, 200),
                               {.quality = 95, .cmyk = true}));
    Viewer viewer({path});
    viewer.paint();
    EXPECT_TRUE(viewer.boxes().empty());
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/1 files)").arg(Q(path)));
    const DecodedPicture* kept = viewer->Ui().picture->Picture()->FullPixels();
    ASSERT_NE(kept, nullptr);
    const Bitmap whole = kept->Copy(0, 0, kept->Width(), kept->Height());
    const Bitmap* pixels = &whole;
    const std::uint8_t* centre = pixels->Row(24) + 32 * 3;
    EXPECT_NEAR(centre[0], 40, 6);
    EXPECT_NEAR(centre[1], 120, 6);
    EXPECT_NEAR(centre[2], 200, 6);
}

} // namespace
} // namespace tessaly::robustness
