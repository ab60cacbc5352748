// The pick window's geometry: its shape before a pick, the control after a pick, the first
// resize notification swallowed, later resizes re-fitting the picture and rewriting the hint.
#include "PickTestSupport.h"
#include "pick/PickImage.h"

namespace tessaly::testing {
namespace {

const QString kPickHint1000 = QStringLiteral("29.6%表示 実サイズ(1000,600)");

TEST_F(PickWindowTest, NewWindowIsSmallStaysOnTopAndWaitsForItsFirstResize) {
    PickWindow& form = NewWindow();
    EXPECT_EQ(OuterSize(form), QSize(123, 106));
    EXPECT_TRUE(form.isWindow());
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.firstResize);
    EXPECT_EQ(form.picture->parentWidget(), &form);
    EXPECT_EQ(form.picture->pos(), QPoint(0, 0));
    EXPECT_TRUE(form.picture->Picture().Empty());
}

TEST_F(PickWindowTest, PickShowsTheControlFillingTheClientAreaAndKeepsItsHint) {
    // The worked pick: 1000 x 600 in a 593 x 428 main window, shown at 296 x 178.
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(1000, 600), 296, 178, kPickHint1000, {70, 90});
    EXPECT_FALSE(form.firstResize);
    EXPECT_EQ(form.size(), QSize(296, 178));
    EXPECT_EQ(form.picture->geometry(), QRect(0, 0, 296, 178));
    EXPECT_EQ(form.picture->toolTip(), kPickHint1000);
    EXPECT_EQ(OuterPos(form), QPoint(70, 90));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("取出[1] サイズ(1000,600)"));
}

TEST_F(PickWindowTest, FirstResizeNotificationChangesNeitherControlNorHint) {
    // A control deliberately not fitted to the client area: a re-fit would move it.
    PickWindow& form = NewWindow();
    form.picture->SetPicture(fixtures::GradientBitmap(200, 150));
    form.picture->setGeometry(0, 0, 60, 40);
    form.picture->setToolTip(QStringLiteral("hint"));
    form.resize(300, 300);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    DeliverQueuedEvents();
    EXPECT_FALSE(form.firstResize);
    EXPECT_EQ(form.picture->geometry(), QRect(0, 0, 60, 40));
    EXPECT_EQ(form.picture->toolTip(), QStringLiteral("hint"));

    // The next notification re-fits: the picture fits, so the control is only centred.
    ResizeClient(form, 310, 300);
    EXPECT_EQ(form.picture->geometry(), QRect(125, 130, 60, 40));
    EXPECT_EQ(form.picture->toolTip(), QStringLiteral("30.0%(60,40)表示 実サイズ(200,150)"));
}

TEST_F(PickWindowTest, ResizeShrinksThePictureToTheClientAreaAndRewritesTheHint) {
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(1000, 600), 296, 178, kPickHint1000);
    ResizeClient(form, 500, 400);
    EXPECT_EQ(form.picture->geometry(), QRect(0, 50, 500, 300));
    EXPECT_EQ(form.picture->toolTip(), QStringLiteral("50.0%(500,300)表示 実サイズ(1000,600)"));

    // Narrow and tall: the width limits.
    ResizeClient(form, 150, 400);
    EXPECT_EQ(form.picture->geometry(), QRect(0, 155, 150, 90));
    EXPECT_EQ(form.picture->toolTip(), QStringLiteral("15.0%(150,90)表示 実サイズ(1000,600)"));
}

TEST_F(PickWindowTest, HintRoundsThePercentageToOneDecimal) {
    // 333 of 1000 pixels: 33.3 %; 2 of 3: 66.666.. -> 66.7.
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::SolidBitmap(1000, 10, 1, 2, 3), 100, 1, QString());
    ResizeClient(form, 333, 100);
    EXPECT_EQ(form.picture->toolTip(), QStringLiteral("33.3%(333,3)表示 実サイズ(1000,10)"));

    PickWindow& small = NewWindow();
    ShowPick(small, fixtures::SolidBitmap(3, 3, 1, 2, 3), 3, 3, QString());
    ResizeClient(small, 2, 2);
    EXPECT_EQ(small.picture->toolTip(), QStringLiteral("66.7%(2,2)表示 実サイズ(3,3)"));
}

} // namespace
} // namespace tessaly::testing
