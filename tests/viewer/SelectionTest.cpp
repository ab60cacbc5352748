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
    QRect Rect1() const { return form_->Ui().selectionFrame->geometry(); }
    QRect Rect2() const { return form_->Ui().selectionHandle->geometry(); }
};

TEST_F(SelectionTest, SelectionModeNeedsAPicture) {
    MainWindow& f = Open();
    f.Ui().selectionItem->trigger();
    EXPECT_FALSE(f.Ui().selectionItem->isChecked());
    EXPECT_FALSE(f.Ui().selectionFrame->isVisible());
    EXPECT_FALSE(f.Ui().copyAreaItem->isEnabled());
}

TEST_F(SelectionTest, SelectionModeShowsTheRectangleAtTheLastPressAndEnablesItsCommands) {
    MainWindow& f = OpenPicture();
    QTest::mouseClick(f.Ui().picture, Qt::RightButton, Qt::NoModifier, QPoint(50, 60));
    f.Ui().menu->close();
    f.Ui().selectionItem->trigger();
    EXPECT_TRUE(f.Ui().selectionItem->isChecked());
    EXPECT_TRUE(f.Ui().copyAreaItem->isEnabled());
    EXPECT_TRUE(f.Ui().pickAreaItem->isEnabled());
    // Centred where the press was: the picture lies at (92, 47) in the panel.
    EXPECT_EQ(Rect1(), QRect(92 + 50 - 32, 47 + 60 - 24, 64, 48));
    EXPECT_EQ(Rect2(), QRect(Rect1().x() + 61, Rect1().y() + 45, 5, 5));
    EXPECT_TRUE(f.Ui().selectionFrame->isVisible());
    EXPECT_TRUE(f.Ui().selectionHandle->isVisible());
    f.Ui().selectionItem->trigger();
    EXPECT_FALSE(f.Ui().selectionItem->isChecked());
    EXPECT_FALSE(f.Ui().pickAreaItem->isEnabled());
    EXPECT_FALSE(f.Ui().selectionFrame->isVisible());
    EXPECT_FALSE(f.Ui().selectionHandle->isVisible());
}

TEST_F(SelectionTest, MovingShowsThePositionAndRestoresTheCaption) {
    MainWindow& f = OpenPicture(); // picture at (92, 47), shown at 100 %
    f.PressPanel(Qt::LeftButton, 200, 150);
    f.ToggleSelection();
    const QString caption = Caption();
    QTest::mousePress(f.Ui().selectionFrame, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲移動 位置(  76,  79) 実サイズ[  64,  48]"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
    QTest::mouseMove(f.Ui().selectionFrame, QPoint(30, 15));
    EXPECT_EQ(Rect1().topLeft(), QPoint(168 + 20, 126 + 5));
    EXPECT_EQ(Rect2().topLeft(), QPoint(188 + 61, 131 + 45));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲移動 位置(  96,  84) 実サイズ[  64,  48]"));
    QTest::mouseRelease(f.Ui().selectionFrame, Qt::LeftButton, Qt::NoModifier, QPoint(30, 15));
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(f.Snapshot().selectionDragging);
}

TEST_F(SelectionTest, ResizingKeepsTheTopLeftAndShowsTheSize) {
    MainWindow& f = OpenPicture();
    f.PressPanel(Qt::LeftButton, 200, 150);
    f.ToggleSelection(); // 168, 126, 64 x 48; handle at 229, 171
    QTest::mousePress(f.Ui().selectionHandle, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_TRUE(Caption().startsWith(QStringLiteral("選択範囲拡縮 ")));
    QTest::mouseMove(f.Ui().selectionHandle, QPoint(12, 22));
    EXPECT_EQ(Rect1(), QRect(168, 126, 74, 68));
    EXPECT_EQ(Rect2().topLeft(), QPoint(168 + 71, 126 + 65));
    EXPECT_EQ(Caption(), QStringLiteral("選択範囲拡縮 位置(  76,  79) 実サイズ[  74,  68]"));
    QTest::mouseRelease(f.Ui().selectionHandle, Qt::LeftButton, Qt::NoModifier, QPoint(12, 22));
    EXPECT_FALSE(Caption().startsWith(QStringLiteral("選択範囲")));
}

TEST_F(SelectionTest, RightPressStartsNoDragAndOpensTheMenu) {
    MainWindow& f = OpenPicture();
    f.ToggleSelection();
    const QString caption = Caption();
    QTest::mousePress(f.Ui().selectionFrame, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(f.Snapshot().selectionDragging);
    EXPECT_EQ(Caption(), caption);
    QTest::mouseRelease(f.Ui().selectionFrame, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(f.Ui().menu->isVisible());
    f.Ui().menu->close();
}

TEST_F(SelectionTest, OverlayAndSelectionExcludeEachOther) {
    MainWindow& f = OpenPicture();
    f.Ui().selectionItem->trigger();
    ASSERT_TRUE(f.Ui().selectionItem->isChecked());
    f.Ui().overlayItem->trigger();
    EXPECT_TRUE(f.Ui().overlayItem->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().overlayItem));
    EXPECT_FALSE(f.Ui().selectionItem->isChecked());
    EXPECT_FALSE(f.Ui().selectionItem->isEnabled());
    EXPECT_FALSE(f.Ui().selectionFrame->isVisible());
    EXPECT_FALSE(f.Ui().copyAreaItem->isEnabled());
    f.Ui().overlayItem->trigger();
    EXPECT_FALSE(f.Ui().overlayItem->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().overlayItem));
    EXPECT_TRUE(f.Ui().selectionItem->isEnabled());
    EXPECT_FALSE(f.Ui().selectionItem->isChecked());
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
        f.PressPanel(Qt::LeftButton, 300, 200);
        f.ToggleSelection();
        // Every other pixel of the border is inverted; the interior stays as it is.
        EXPECT_EQ(PixelOf(f, *f.Ui().selectionFrame, {0, 0}), QColor(inverted, inverted, inverted));
        EXPECT_EQ(PixelOf(f, *f.Ui().selectionFrame, {1, 0}), QColor(colour, colour, colour));
        EXPECT_EQ(PixelOf(f, *f.Ui().selectionFrame, {2, 0}), QColor(inverted, inverted, inverted));
        EXPECT_EQ(PixelOf(f, *f.Ui().selectionFrame, {20, 20}), QColor(colour, colour, colour));
        // The handle is solid black to its border, on a light picture and a dark one.
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(2, 2), QPoint(4, 4)})
            EXPECT_EQ(PixelOf(f, *f.Ui().selectionHandle, p), QColor(0, 0, 0))
                << p.x() << "," << p.y();
    }
}
