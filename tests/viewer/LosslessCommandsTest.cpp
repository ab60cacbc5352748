// The main window's lossless commands: the turn by the tag shown at once from the pixels the
// window has, the bake with its trim question, and the selection saved cut from the blocks.
// What the files hold is the lossless editor's and is tested with it (tests/jpeg).
#include "MainWindowFixture.h"
#include "base/RegularFile.h"
#include "jpeg/JpegHeader.h"
#include "tests/support/ExifBuilder.h"

#include <QRegularExpression>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// Names the file a test chose, and keeps what the window asked with and what it outlined.
class ChosenName final : public CropSaveDialog {
public:
    ChosenName(std::optional<QString> name, QStringList* asked, const QWidget* outline = nullptr,
               QRect* outlined = nullptr)
        : name_(std::move(name)), asked_(asked), outline_(outline), outlined_(outlined) {}
    std::optional<QString> Execute(const QString& caption, const QString& initialDir) override {
        *asked_ << caption << initialDir;
        if (outline_ && outlined_)
            *outlined_ = outline_->geometry();
        return name_;
    }

private:
    std::optional<QString> name_;
    QStringList* asked_;
    const QWidget* outline_;
    QRect* outlined_;
};

JpegInfo HeaderOf(const std::string& path) {
    return ReadJpegHeader(RegularFile(path));
}

} // namespace

class LosslessCommandsTest : public MainWindowTest {
protected:
    // A 600 x 392 photo (4:2:0: blocks of 16, so neither side fills its last one) with an
    // EXIF block whose orientation is `orientation`.
    std::string WritePhoto(std::uint16_t orientation) {
        fixtures::ExifBuilder exif;
        exif.Ifd0().Short(0x0112, orientation);
        const auto path = dir_ / "photo.jpg";
        fixtures::WriteFile(
            path, fixtures::EncodeJpeg(fixtures::GradientBitmap(600, 392),
                                       {.segments = {fixtures::ExifSegment(exif.Build())}}));
        return path.string();
    }
    Size Shown() const { return form_->Model().PictureSize(); }
};

TEST_F(LosslessCommandsTest, TurnsTurnTheTagAndTheViewFromThePixelsShown) {
    const std::string path = WritePhoto(1);
    const fixtures::Bytes original = fixtures::ReadFile(path);
    MainWindow& f = Open({path});
    const LoadedPicture* pixels = f.Ui().picture->Picture().get();
    const QString fitted = Caption();

    f.PressKey(Qt::Key_R);
    EXPECT_EQ(HeaderOf(path).orientation, Orientation::QuarterClockwise);
    EXPECT_EQ(Shown(), (Size{392, 600}));
    EXPECT_EQ(f.Ui().picture->Look().orientation, Orientation::QuarterClockwise);
    // Laid out and captioned at the turned size: a taller picture is fitted smaller.
    ExpectShowsTheModel();
    EXPECT_GT(ImageBounds().height(), ImageBounds().width());
    EXPECT_NE(Caption(), fitted);
    // Nothing was decoded again: the picture delivered before is the one shown.
    EXPECT_EQ(f.Ui().picture->Picture().get(), pixels);
    EXPECT_TRUE(pixels->Settled());

    // Shift+R turns half way round, L a quarter back.
    QTest::keyClick(&f, Qt::Key_R, Qt::ShiftModifier);
    EXPECT_EQ(HeaderOf(path).orientation, Orientation::QuarterAnticlockwise);
    f.Ui().turnLeftItem->trigger();
    EXPECT_EQ(HeaderOf(path).orientation, Orientation::HalfTurn);
    EXPECT_EQ(Shown(), (Size{600, 392}));
    f.PressKey(Qt::Key_L);
    f.PressKey(Qt::Key_L);
    EXPECT_EQ(fixtures::ReadFile(path), original);
    EXPECT_EQ(Caption(), fitted);
    ExpectShowsTheModel();
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(LosslessCommandsTest, BakeAsksBeforeTrimmingAndCancelLeavesTheFile) {
    const std::string path = WritePhoto(6); // shown 392 x 600; its left 8 pixels end a block
    const fixtures::Bytes original = fixtures::ReadFile(path);
    MainWindow& f = Open({path});

    f.Ui().bakeItem->trigger(); // no answer recorded: the last button, cancel
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Question);
    EXPECT_EQ(boxes_.boxes()[0].text,
              QStringLiteral("左端の 8 画素を切り落とします。よろしいですか？"));
    EXPECT_EQ(fixtures::ReadFile(path), original);
    EXPECT_EQ(Shown(), (Size{392, 600}));

    boxes_.clear();
    boxes_.Answer(0); // trim
    f.Ui().bakeItem->trigger();
    EXPECT_EQ(boxes_.boxes().size(), 1u);
    const JpegInfo baked = HeaderOf(path);
    EXPECT_EQ(baked.orientation, Orientation::AsStored);
    EXPECT_EQ(baked.width, 384);
    EXPECT_EQ(baked.height, 600);
    // Shown anew from the file as it is now.
    WaitForPixels();
    EXPECT_EQ(Shown(), (Size{384, 600}));
    EXPECT_EQ(f.Ui().picture->Picture()->Width(), 384);
    ExpectShowsTheModel();
    // The photo as it was waits in the Trash; undo puts it back, byte for byte, and shows it.
    EXPECT_EQ(fixtures::ReadFile(dir_ / "data" / "Trash" / "files" / "photo.jpg"), original);
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(fixtures::ReadFile(path), original);
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "data" / "Trash" / "files"));
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "data" / "Trash" / "info"));
    WaitForPixels();
    EXPECT_EQ(Shown(), (Size{392, 600}));
    // A turn by the tag is undone by turning back.
    f.PressKey(Qt::Key_R);
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(HeaderOf(path).orientation, Orientation::QuarterClockwise);
    EXPECT_EQ(boxes_.boxes().size(), 1u);

    // The second answer keeps the strip: the picture encoded again, whole.
    fixtures::WriteFile(path, original);
    boxes_.clear();
    boxes_.Answer(1);
    f.Ui().bakeItem->trigger();
    EXPECT_EQ(boxes_.boxes().size(), 1u);
    const JpegInfo reencoded = HeaderOf(path);
    EXPECT_EQ(reencoded.orientation, Orientation::AsStored);
    EXPECT_EQ(reencoded.width, 392);
    EXPECT_EQ(reencoded.height, 600);
}

TEST_F(LosslessCommandsTest, SelectionIsSavedAtTheSnappedSizeTheDialogNames) {
    const std::string path = WritePhoto(1);
    const fixtures::Bytes original = fixtures::ReadFile(path);
    MainWindow& f = Open({path});
    f.ShowActualSize();
    f.ToggleSelection();
    // The smallest displayed values that give (37, 21, 100, 50) in actual pixels.
    const auto displayed = [&f](int actual) {
        int d = actual - 2;
        while (f.Model().ActualPixels(d) != actual)
            ++d;
        return d;
    };
    PlaceSelection(f, QRect(f.Ui().picture->x() + displayed(37),
                            f.Ui().picture->y() + displayed(21), displayed(100), displayed(50)));
    ASSERT_EQ(f.Model().SelectedArea(), (Rect{37, 21, 100, 50}));
    ASSERT_TRUE(f.Ui().cropSaveItem->isEnabled());

    const std::string saved = (dir_ / "cut.jpg").string();
    QStringList asked;
    QRect outlined;
    const QRect selection = f.Ui().selectionFrame->geometry();
    f.SetCropSaveDialog(std::make_unique<ChosenName>(QString::fromStdString(saved), &asked,
                                                     f.Ui().selectionFrame, &outlined));
    f.Ui().cropSaveItem->trigger();
    EXPECT_TRUE(boxes_.boxes().empty());
    // The left and top edges move out to the blocks of 16: from (32, 16) to where the
    // selection ends, as the outline shows while the dialog is open.
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0], QStringLiteral("選択範囲を無劣化で保存 (105 x 55)"));
    EXPECT_EQ(outlined,
              QRect(f.Ui().picture->x() + displayed(32), f.Ui().picture->y() + displayed(16),
                    displayed(137) - displayed(32), displayed(71) - displayed(16)));
    EXPECT_EQ(f.Ui().selectionFrame->geometry(), selection);
    const JpegInfo cut = HeaderOf(saved);
    EXPECT_EQ(cut.width, 105);
    EXPECT_EQ(cut.height, 55);
    EXPECT_EQ(fixtures::ReadFile(path), original);
    EXPECT_EQ(f.Folder().Path(), dir_.path().string());
}
