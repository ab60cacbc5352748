// The selection rectangle: placing, moving and resizing it, its caption, and how it
// excludes the EXIF overlay.
#include "MainWindowFixture.h"

#include <QApplication>
#include <QCursor>

using namespace tessaly;
using namespace tessaly::testing;

class SelectionTest : public MainWindowTest {
protected:
    MainWindow& OpenPicture(int width = 400, int height = 300) {
        return Open({WriteJpeg(dir_, "p.jpg", width, height)});
    }
    QRect Rect1() const { return form_->Ui().Shape1->geometry(); }
    QRect Rect2() const { return form_->Ui().Shape2->geometry(); }
};

TEST_F(SelectionTest, SelectionModeNeedsAPicture) {
    MainWindow& f = Open();
    f.Ui().AreaSel->trigger();
    EXPECT_FALSE(f.Ui().AreaSel->isChecked());
    EXPECT_FALSE(f.Ui().Shape1->isVisible());
    EXPECT_FALSE(f.Ui().AreaCopy->isEnabled());
}

TEST_F(SelectionTest, SelectionModeShowsTheRectangleAtTheLastPressAndEnablesItsCommands) {
    MainWindow& f = OpenPicture();
    QTest::mouseClick(f.Ui().Image1, Qt::RightButton, Qt::NoModifier, QPoint(50, 60));
    f.Ui().PopupMenu1->close();
    f.Ui().AreaSel->trigger();
    EXPECT_TRUE(f.Ui().AreaSel->isChecked());
    EXPECT_TRUE(f.Ui().AreaCopy->isEnabled());
    EXPECT_TRUE(f.Ui().AreaPick->isEnabled());
    // Centred where the press was: the picture lies at (92, 47) in the panel.
    EXPECT_EQ(Rect1(), QRect(92 + 50 - 32, 47 + 60 - 24, 64, 48));
    EXPECT_EQ(Rect2(), QRect(Rect1().x() + 61, Rect1().y() + 45, 5, 5));
    EXPECT_TRUE(f.Ui().Shape1->isVisible());
    EXPECT_TRUE(f.Ui().Shape2->isVisible());
    f.Ui().AreaSel->trigger();
    EXPECT_FALSE(f.Ui().AreaSel->isChecked());
    EXPECT_FALSE(f.Ui().AreaPick->isEnabled());
    EXPECT_FALSE(f.Ui().Shape1->isVisible());
    EXPECT_FALSE(f.Ui().Shape2->isVisible());
}

TEST_F(SelectionTest, MovingShowsThePositionAndRestoresTheCaption) {
    MainWindow& f = OpenPicture(); // picture at (92, 47), shown at 100 %
    f.Panel1MouseDown(Qt::LeftButton, 200, 150);
    f.AreaSelClick();
    const QString caption = Caption();
    QTest::mousePress(f.Ui().Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲移動 位置(  76,  79) 実サイズ[  64,  48]"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
    QTest::mouseMove(f.Ui().Shape1, QPoint(30, 15));
    EXPECT_EQ(Rect1().topLeft(), QPoint(168 + 20, 126 + 5));
    EXPECT_EQ(Rect2().topLeft(), QPoint(188 + 61, 131 + 45));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲移動 位置(  96,  84) 実サイズ[  64,  48]"));
    QTest::mouseRelease(f.Ui().Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(30, 15));
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(f.Snapshot().selectionDragging);
}

TEST_F(SelectionTest, ResizingKeepsTheTopLeftAndShowsTheSize) {
    MainWindow& f = OpenPicture();
    f.Panel1MouseDown(Qt::LeftButton, 200, 150);
    f.AreaSelClick(); // 168, 126, 64 x 48; handle at 229, 171
    QTest::mousePress(f.Ui().Shape2, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_TRUE(Caption().startsWith(QStringLiteral("選択範囲拡縮 ")));
    QTest::mouseMove(f.Ui().Shape2, QPoint(12, 22));
    EXPECT_EQ(Rect1(), QRect(168, 126, 74, 68));
    EXPECT_EQ(Rect2().topLeft(), QPoint(168 + 71, 126 + 65));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲拡縮 位置(  76,  79) 実サイズ[  74,  68]"));
    QTest::mouseRelease(f.Ui().Shape2, Qt::LeftButton, Qt::NoModifier, QPoint(12, 22));
    EXPECT_FALSE(Caption().startsWith(QStringLiteral("選択範囲")));
}

TEST_F(SelectionTest, RightPressStartsNoDragAndOpensTheMenu) {
    MainWindow& f = OpenPicture();
    f.AreaSelClick();
    const QString caption = Caption();
    QTest::mousePress(f.Ui().Shape1, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(f.Snapshot().selectionDragging);
    EXPECT_EQ(Caption(), caption);
    QTest::mouseRelease(f.Ui().Shape1, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(f.Ui().PopupMenu1->isVisible());
    f.Ui().PopupMenu1->close();
}

TEST_F(SelectionTest, OverlayAndSelectionExcludeEachOther) {
    MainWindow& f = OpenPicture();
    f.Ui().AreaSel->trigger();
    ASSERT_TRUE(f.Ui().AreaSel->isChecked());
    f.Ui().Exif1->trigger();
    EXPECT_TRUE(f.Ui().Exif1->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().Exif1));
    EXPECT_FALSE(f.Ui().AreaSel->isChecked());
    EXPECT_FALSE(f.Ui().AreaSel->isEnabled());
    EXPECT_FALSE(f.Ui().Shape1->isVisible());
    EXPECT_FALSE(f.Ui().AreaCopy->isEnabled());
    f.Ui().Exif1->trigger();
    EXPECT_FALSE(f.Ui().Exif1->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().Exif1));
    EXPECT_TRUE(f.Ui().AreaSel->isEnabled());
    EXPECT_FALSE(f.Ui().AreaSel->isChecked());
}

namespace {
// The colour of a pixel of a widget as drawn on screen.
QColor PixelOf(QWidget& window, QWidget& child, QPoint p) {
    return window.grab().toImage().pixelColor(child.mapTo(&window, p));
}
} // namespace

TEST_F(SelectionTest, DottedOutlineInvertsLightAndDarkPictures) {
    for (const auto& [colour, inverted] : {std::pair{255, 0}, std::pair{0, 255}}) {
        const auto path = dir_ / (colour ? "white.jpg" : "black.jpg");
        fixtures::WriteFile(
            path, fixtures::EncodeJpeg(fixtures::SolidBitmap(585, 394, colour, colour, colour),
                                       {.quality = 100}));
        form_.reset();
        MainWindow& f = Open({path.string()});
        f.Panel1MouseDown(Qt::LeftButton, 300, 200);
        f.AreaSelClick();
        // Every other pixel of the border is inverted; the interior stays as it is.
        EXPECT_EQ(PixelOf(f, *f.Ui().Shape1, {0, 0}), QColor(inverted, inverted, inverted));
        EXPECT_EQ(PixelOf(f, *f.Ui().Shape1, {1, 0}), QColor(colour, colour, colour));
        EXPECT_EQ(PixelOf(f, *f.Ui().Shape1, {2, 0}), QColor(inverted, inverted, inverted));
        EXPECT_EQ(PixelOf(f, *f.Ui().Shape1, {20, 20}), QColor(colour, colour, colour));
        // The handle is solid black to its border, on a light picture and a dark one.
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(2, 2), QPoint(4, 4)})
            EXPECT_EQ(PixelOf(f, *f.Ui().Shape2, p), QColor(0, 0, 0)) << p.x() << "," << p.y();
    }
}
