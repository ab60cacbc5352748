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
    QTest::mousePress(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
    QTest::mouseRelease(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
    EXPECT_EQ(f.Snapshot().anchor, (Point{500, 300}));
    f.Ui().zoomIn5Item->trigger();
    EXPECT_EQ(f.Snapshot().zoom, 0.25L + 585.0L / 3000.0L);
    ExpectShowsTheModel();
    EXPECT_TRUE(f.Ui().client->HorzBarVisible());
    EXPECT_TRUE(f.Ui().client->VertBarVisible());
    EXPECT_GT(f.Ui().client->HorzPosition(), 0) << "scrolled towards the press";
    EXPECT_GT(f.Ui().client->VertPosition(), 0);
    EXPECT_FALSE(f.Ui().fitItem->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().fitItem));
    EXPECT_FALSE(f.Ui().actualSizeItem->isChecked());
}

TEST_F(PanZoomTest, DraggingPansUntilTheButtonIsReleased) {
    MainWindow& f = OpenBig();
    f.Ui().actualSizeItem->trigger(); // 3000 x 2000 panel
    QTest::mousePress(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(f.Ui().picture, QPoint(90, 80));
    EXPECT_EQ(f.Ui().client->HorzPosition(), 10);
    EXPECT_EQ(f.Ui().client->VertPosition(), 20);
    EXPECT_EQ(f.Snapshot().drag.x, 90);
    EXPECT_EQ(f.Snapshot().drag.y, 80);
    QTest::mouseRelease(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(90, 80));
    EXPECT_FALSE(f.Snapshot().dragging);
    QTest::mouseMove(f.Ui().picture, QPoint(10, 10)); // no button: no panning
    EXPECT_EQ(f.Ui().client->HorzPosition(), 10);
}

TEST_F(PanZoomTest, RightButtonPansToAndOpensTheMenuAtTheRelease) {
    MainWindow& f = OpenBig();
    f.Ui().actualSizeItem->trigger();
    QTest::mousePress(f.Ui().picture, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(f.Ui().picture, QPoint(95, 95));
    EXPECT_EQ(f.Ui().client->HorzPosition(), 5);
    EXPECT_FALSE(f.Ui().menu->isVisible());
    QTest::mouseRelease(f.Ui().picture, Qt::RightButton, Qt::NoModifier, QPoint(95, 95));
    EXPECT_TRUE(f.Ui().menu->isVisible());
    f.Ui().menu->close();
}

TEST_F(PanZoomTest, DoubleClickZoomsOneStepAndSwallowsTheNextMove) {
    MainWindow& f = OpenBig();
    QTest::mouseDClick(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_EQ(f.Snapshot().zoom, 0.05L + 585.0L / 3000);
    EXPECT_TRUE(f.Snapshot().doubleClicked);
    EXPECT_EQ(f.Snapshot().anchor.x, 200);
    const int h = f.Ui().client->HorzPosition();
    const int v = f.Ui().client->VertPosition();
    QTest::mousePress(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    QTest::mouseMove(f.Ui().picture, QPoint(150, 100));
    EXPECT_FALSE(f.Snapshot().doubleClicked);
    EXPECT_EQ(f.Ui().client->HorzPosition(), h);
    EXPECT_EQ(f.Ui().client->VertPosition(), v);
    // The swallowed move did not update the drag point: the next one pans from the press.
    QTest::mouseMove(f.Ui().picture, QPoint(140, 90));
    EXPECT_EQ(f.Ui().client->HorzPosition(), h + 60);
    QTest::mouseRelease(f.Ui().picture, Qt::LeftButton, Qt::NoModifier, QPoint(140, 90));
}

TEST_F(PanZoomTest, PressOnThePanelOutsideThePictureSetsTheAnchor) {
    MainWindow& f = Open({WriteJpeg(dir_, "small.jpg", 200, 100)});
    QTest::mouseClick(f.Ui().panel, Qt::LeftButton, Qt::NoModifier, QPoint(7, 9));
    EXPECT_EQ(f.Snapshot().anchor.x, 7);
    EXPECT_EQ(f.Snapshot().anchor.y, 9);
}

TEST_F(PanZoomTest, WindowResizeInMagnificationOnlyAdaptsTheScrollBars) {
    MainWindow& f = OpenBig();
    f.Ui().actualSizeItem->trigger();
    emit f.Ui().client->ScrollRequested(2500, 0); // as the scroll bar does
    const QRect before = PanelBounds();
    f.resize(800, 500);
    EXPECT_EQ(PanelBounds().size(), before.size());
    EXPECT_EQ(f.Ui().client->HorzPosition(), 3000 - (800 - Extent()));
    EXPECT_TRUE(Caption().contains(QStringLiteral("[99.9%]")));
}
