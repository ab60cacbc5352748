// Panning by dragging, zooming around the anchor, double-click zoom, and the context menu.
#include "MainWindowFixture.h"

#include <QStyle>

using namespace tessaly;
using namespace tessaly::testing;

class PanZoomTest : public MainWindowTest {
protected:
    MainWindow& OpenBig() { return Open({WriteJpeg(dir_, "big.JPG", 3000, 2000)}); }
    int Extent() const { return form_->style()->pixelMetric(QStyle::PM_ScrollBarExtent); }
};

TEST_F(PanZoomTest, ZoomStepAroundThePressReachesPanelPictureScrollBarsCaptionAndMenu) {
    MainWindow& f = OpenBig();
    QTest::mousePress(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
    QTest::mouseRelease(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
    EXPECT_EQ(f.Snapshot().anchor, (Point{500, 300}));
    f.Ui().Enlarge5->trigger();
    EXPECT_EQ(f.Snapshot().zoom, 0.25L + 585.0L / 3000.0L);
    ExpectShowsTheModel();
    EXPECT_TRUE(f.Ui().Client->HorzBarVisible());
    EXPECT_TRUE(f.Ui().Client->VertBarVisible());
    EXPECT_GT(f.Ui().Client->HorzPosition(), 0) << "scrolled towards the press";
    EXPECT_GT(f.Ui().Client->VertPosition(), 0);
    EXPECT_FALSE(f.Ui().N1->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().N1));
    EXPECT_FALSE(f.Ui().N2->isChecked());
}

TEST_F(PanZoomTest, DraggingPansUntilTheButtonIsReleased) {
    MainWindow& f = OpenBig();
    f.Ui().N2->trigger(); // 3000 x 2000 panel
    QTest::mousePress(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(f.Ui().Image1, QPoint(90, 80));
    EXPECT_EQ(f.Ui().Client->HorzPosition(), 10);
    EXPECT_EQ(f.Ui().Client->VertPosition(), 20);
    EXPECT_EQ(f.Snapshot().drag.x, 90);
    EXPECT_EQ(f.Snapshot().drag.y, 80);
    QTest::mouseRelease(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(90, 80));
    EXPECT_FALSE(f.Snapshot().dragging);
    QTest::mouseMove(f.Ui().Image1, QPoint(10, 10)); // no button: no panning
    EXPECT_EQ(f.Ui().Client->HorzPosition(), 10);
}

TEST_F(PanZoomTest, RightButtonPansToAndOpensTheMenuAtTheRelease) {
    MainWindow& f = OpenBig();
    f.Ui().N2->trigger();
    QTest::mousePress(f.Ui().Image1, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(f.Ui().Image1, QPoint(95, 95));
    EXPECT_EQ(f.Ui().Client->HorzPosition(), 5);
    EXPECT_FALSE(f.Ui().PopupMenu1->isVisible());
    QTest::mouseRelease(f.Ui().Image1, Qt::RightButton, Qt::NoModifier, QPoint(95, 95));
    EXPECT_TRUE(f.Ui().PopupMenu1->isVisible());
    f.Ui().PopupMenu1->close();
}

TEST_F(PanZoomTest, DoubleClickZoomsOneStepAndSwallowsTheNextMove) {
    MainWindow& f = OpenBig();
    QTest::mouseDClick(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_EQ(f.Snapshot().zoom, 0.05L + 585.0L / 3000);
    EXPECT_TRUE(f.Snapshot().doubleClicked);
    EXPECT_EQ(f.Snapshot().anchor.x, 200);
    const int h = f.Ui().Client->HorzPosition();
    const int v = f.Ui().Client->VertPosition();
    QTest::mousePress(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    QTest::mouseMove(f.Ui().Image1, QPoint(150, 100));
    EXPECT_FALSE(f.Snapshot().doubleClicked);
    EXPECT_EQ(f.Ui().Client->HorzPosition(), h);
    EXPECT_EQ(f.Ui().Client->VertPosition(), v);
    // The swallowed move did not update the drag point: the next one pans from the press.
    QTest::mouseMove(f.Ui().Image1, QPoint(140, 90));
    EXPECT_EQ(f.Ui().Client->HorzPosition(), h + 60);
    QTest::mouseRelease(f.Ui().Image1, Qt::LeftButton, Qt::NoModifier, QPoint(140, 90));
}

TEST_F(PanZoomTest, PressOnThePanelOutsideThePictureSetsTheAnchor) {
    MainWindow& f = Open({WriteJpeg(dir_, "small.jpg", 200, 100)});
    QTest::mouseClick(f.Ui().Panel1, Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
    EXPECT_EQ(f.Snapshot().anchor.x, 7);
    EXPECT_EQ(f.Snapshot().anchor.y, 9);
}

TEST_F(PanZoomTest, WindowResizeInMagnificationOnlyAdaptsTheScrollBars) {
    MainWindow& f = OpenBig();
    f.Ui().N2->trigger();
    emit f.Ui().Client->ScrollRequested(2500, 0); // as the scroll bar does
    const QRect before = PanelBounds();
    f.resize(800, 500);
    EXPECT_EQ(PanelBounds().size(), before.size());
    EXPECT_EQ(f.Ui().Client->HorzPosition(), 3000 - (800 - Extent()));
    EXPECT_TRUE(Caption().contains(QStringLiteral("[99.9%]")));
}
