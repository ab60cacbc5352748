// Full screen and the slideshow in the main window: F11 covers the screen with the picture fit
// into it and Escape gives back the window's place and fit; S steps on the timer's ticks (the
// test calls the tick itself with a time of its choosing), not while a modal dialog is open,
// and stops at a click or another command.
#include "MainWindowFixture.h"

#include <QDialog>
#include <QScreen>
#include <chrono>

using namespace tessaly;
using namespace tessaly::testing;
using namespace std::chrono_literals;

namespace {

// The window system reports the window's new geometry after the state change.
bool TakesGeometry(const QWidget& window, const QRect& geometry) {
    return QTest::qWaitFor([&] { return window.geometry() == geometry; }, 20000);
}

} // namespace

TEST_F(MainWindowTest, F11CoversTheScreenAndEscapeGivesBackThePlaceAndTheFit) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    MainWindow& f = Open({path});
    const QRect place = f.geometry();
    const QRect fitted = ImageBounds();
    const QRect screen = f.screen()->geometry();

    QTest::keyClick(&f, Qt::Key_F11);
    EXPECT_TRUE(f.isFullScreen());
    ASSERT_TRUE(TakesGeometry(f, screen));
    EXPECT_TRUE(f.Ui().fullScreenItem->isChecked());
    ExpectShowsTheModel();
    EXPECT_EQ(PanelBounds(), QRect(QPoint(0, 0), screen.size()));
    EXPECT_EQ(f.Model().FitArea().width, screen.width());
    EXPECT_EQ(ImageBounds().width(), screen.width()); // 3000 x 2000 is wider than the screen
    EXPECT_FALSE(f.Ui().client->HorzBarVisible());
    EXPECT_FALSE(f.Ui().client->VertBarVisible());

    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_FALSE(f.isFullScreen());
    ASSERT_TRUE(TakesGeometry(f, place));
    EXPECT_EQ(ImageBounds(), fitted);
    EXPECT_FALSE(f.Ui().fullScreenItem->isChecked());
    ExpectShowsTheModel();

    // F goes in too, and F11 out; Escape out of full screen changes nothing.
    QTest::keyClick(&f, Qt::Key_F);
    ASSERT_TRUE(TakesGeometry(f, screen));
    QTest::keyClick(&f, Qt::Key_F11);
    ASSERT_TRUE(TakesGeometry(f, place));
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_EQ(f.geometry(), place);
}

TEST_F(MainWindowTest, FullScreenKeysActWithAnEmptyList) {
    MainWindow& f = Open();
    const QRect place = f.geometry();
    QTest::keyClick(&f, Qt::Key_F11);
    EXPECT_TRUE(TakesGeometry(f, f.screen()->geometry()));
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(TakesGeometry(f, place));
}

TEST_F(MainWindowTest, SlideshowStepsOnItsTicksAndStopsAtAClickOrACommand) {
    const std::string first = WriteJpeg(dir_, "a.jpg", 320, 240);
    WriteJpeg(dir_, "b.jpg", 240, 320);
    MainWindow& f = Open({dir_.path().string()});
    ASSERT_EQ(f.Model().List().Count(), 2);
    QTest::keyClick(&f, Qt::Key_S);
    const auto now = Slideshow::Clock::now(); // the slideshow started no later
    EXPECT_TRUE(f.Ui().slideshowItem->isChecked());
    EXPECT_TRUE(f.Ui().every3Item->isChecked());
    f.SlideshowTick(now + 2s); // early: nothing
    EXPECT_EQ(f.Model().List().Index(), 1);
    f.SlideshowTick(now + 3s);
    EXPECT_EQ(f.Model().List().Index(), 2);
    EXPECT_EQ(f.Snapshot().travel, 1); // the neighbours ahead are the next ones
    // Full screen keeps it running; the end of the list wraps as stepping does.
    QTest::keyClick(&f, Qt::Key_F11);
    f.SlideshowTick(now + 6s);
    EXPECT_EQ(f.Model().List().Index(), 1);
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.Ui().slideshowItem->isChecked());

    // Not while a modal dialog is open.
    {
        QDialog dialog(&f);
        dialog.setModal(true);
        dialog.show();
        ASSERT_NE(QApplication::activeModalWidget(), nullptr);
        f.SlideshowTick(now + 9s);
        EXPECT_EQ(f.Model().List().Index(), 1);
    }
    f.SlideshowTick(now + 12s);
    EXPECT_EQ(f.Model().List().Index(), 2);

    // A click stops it.
    WaitForPixels();
    QTest::mouseClick(f.Ui().picture, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(f.Ui().slideshowItem->isChecked());
    f.SlideshowTick(now + 60s);
    EXPECT_EQ(f.Model().List().Index(), 2);

    // The interval chosen stays; another command stops the slideshow, an interval does not.
    QTest::keyClick(&f, Qt::Key_S);
    f.Ui().every10Item->trigger();
    EXPECT_TRUE(f.Ui().every10Item->isChecked());
    EXPECT_FALSE(f.Ui().every3Item->isChecked());
    EXPECT_TRUE(f.Ui().slideshowItem->isChecked());
    f.Ui().actualSizeItem->trigger();
    EXPECT_FALSE(f.Ui().slideshowItem->isChecked());
    QTest::keyClick(&f, Qt::Key_S);
    QTest::keyClick(&f, Qt::Key_Right); // navigation
    EXPECT_FALSE(f.Ui().slideshowItem->isChecked());
    EXPECT_TRUE(Caption().contains(QString::fromStdString(first)));
}
