// The overview in the main window: Return switches views, the grid's keys move the current
// entry with the caption, a double-click shows a cell's picture, and a thumbnail from the
// shared cache is drawn in its cell, in the display's colours.
#include "colour/DisplayColours.h"
#include "overview/OverviewGrid.h"
#include "tests/support/IccFixtures.h"
#include "tests/thumbnails/ThumbnailTestFiles.h"
#include "tests/viewer/MainWindowFixture.h"
#include "thumbnails/FileUri.h"
#include "thumbnails/ThumbnailService.h"

#include <QScopeGuard>
#include <chrono>
#include <lcms2.h>

namespace tessaly::testing {
namespace {

using fixtures::Rgb;

constexpr Rgb kGreen{20, 200, 40};

class OverviewTest : public MainWindowTest {
protected:
    // Five photos, a.jpg to e.jpg; c.jpg has a thumbnail in the cache, green, written as
    // another program writes one.
    std::vector<std::string> Photos() {
        std::vector<std::string> paths;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
            paths.push_back((dir_ / name).string());
            fixtures::WritePhoto(paths.back());
        }
        const std::string& photo = paths[2];
        QImage image(128, 96, QImage::Format_RGB32);
        image.fill(QColor(kGreen.red, kGreen.green, kGreen.blue));
        image.setText("Thumb::URI", QString::fromStdString(FileUri(photo)));
        image.setText("Thumb::MTime", QString::number(fixtures::Modified(photo)));
        const ThumbnailCache cache = ThumbnailCache::FromEnvironment();
        std::filesystem::create_directories(cache.Folder(ThumbnailSize::Normal));
        const auto thumbnail = cache.PathFor(ThumbnailSize::Normal, UriHash(FileUri(photo)));
        EXPECT_TRUE(image.save(QString::fromStdString(thumbnail.string()), "png"));
        return paths;
    }
    OverviewGrid& Grid() { return *Form().Ui().overview; }
    static void Press(QWidget& target, Qt::Key key) { QTest::keyClick(&target, key); }

    fixtures::TemporaryCacheHome home_;
};

TEST_F(OverviewTest, ReturnSwitchesViewsAndTheGridsKeysMoveTheEntryTheCaptionTells) {
    Photos();
    MainWindow& form = Open({dir_.path().string()});
    ASSERT_EQ(form.Model().List().Count(), 5);
    Press(form, Qt::Key_Return);
    ASSERT_TRUE(form.OverviewShown());
    ASSERT_TRUE(Grid().isVisible());
    EXPECT_TRUE(Caption().endsWith("a.jpg (1/5 files)")) << Caption().toStdString();

    // Keys pressed on the grid reach the window's command table: in the grid the arrows move
    // the current cell, where in the single view Right is the next picture and Down the last.
    QWidget& cells = *Grid().viewport();
    Press(cells, Qt::Key_Right);
    Press(cells, Qt::Key_Right);
    EXPECT_EQ(Grid().Current(), 2u);
    EXPECT_TRUE(Caption().endsWith("c.jpg (3/5 files)")) << Caption().toStdString();
    Press(cells, Qt::Key_End);
    EXPECT_TRUE(Caption().endsWith("(5/5 files)"));
    Press(cells, Qt::Key_Home);
    EXPECT_EQ(Grid().Current(), 0u);
    Press(cells, Qt::Key_Right);
    Press(cells, Qt::Key_Right);

    // Cell 2's thumbnail comes from the cache and is drawn as it is, centred in its box.
    const QPoint c = Grid().BoxRect(2).center();
    EXPECT_TRUE(WaitUntil([&] {
        return Grid().Service().StateOf(2) == ThumbnailService::State::Ready &&
               fixtures::Near(cells.grab().toImage(), c.x(), c.y(), kGreen, 8);
    }));

    Press(cells, Qt::Key_Return);
    EXPECT_FALSE(form.OverviewShown());
    EXPECT_FALSE(Grid().isVisible());
    EXPECT_EQ(form.Model().List().Index(), 3);
    WaitForPixels();
    EXPECT_TRUE(Caption().contains("c.jpg [")) << Caption().toStdString();
    EXPECT_TRUE(Caption().endsWith("(3/5 files)"));
    ExpectShowsTheModel();

    // Back in the grid on the same entry; a double-click shows the cell's picture.
    Press(form, Qt::Key_Return);
    EXPECT_EQ(Grid().Current(), 2u);
    const QPoint e = Grid().BoxRect(4).center();
    QTest::mouseDClick(&cells, Qt::LeftButton, {}, e);
    EXPECT_FALSE(form.OverviewShown());
    EXPECT_EQ(form.Model().List().Index(), 5);
    EXPECT_TRUE(Caption().endsWith("(5/5 files)"));
}

TEST_F(OverviewTest, StartsInTheGridWithoutOpeningAPicture) {
    Photos();
    form_ =
        std::make_unique<MainWindow>(std::vector{dir_.path().string()}, nullptr,
                                     DefaultPictureDecoders(), ShowingOptions{.overview = true});
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    EXPECT_TRUE(Form().OverviewShown());
    EXPECT_TRUE(Caption().endsWith("a.jpg (1/5 files)"));
    EXPECT_FALSE(Form().Ui().picture->HasPicture());
    // Left in the grid stops at the first cell, where the single view wraps to the last.
    Press(*form_, Qt::Key_Left);
    EXPECT_EQ(Grid().Current(), 0u);
    EXPECT_TRUE(Caption().endsWith("(1/5 files)"));
}

TEST_F(OverviewTest, ThumbnailsAreDrawnInTheDisplaysColours) {
    Photos();
    const fixtures::Bytes adobe = fixtures::AdobeRgbProfile();
    // Little CMS's own conversion of the thumbnail's sRGB green to the display's profile.
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE display =
        cmsOpenProfileFromMem(adobe.data(), static_cast<cmsUInt32Number>(adobe.size()));
    cmsHTRANSFORM transform =
        cmsCreateTransform(srgb, TYPE_RGB_8, display, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const std::uint8_t green[3] = {kGreen.red, kGreen.green, kGreen.blue};
    std::uint8_t shown[3] = {};
    cmsDoTransform(transform, green, shown, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(display);
    cmsCloseProfile(srgb);
    const Rgb expected{shown[0], shown[1], shown[2]};
    ASSERT_GT(std::abs(expected.red - kGreen.red), 20); // the conversion is not a no-op

    DisplayColours colours(adobe);
    // The window listens to the display's colours: it goes first.
    const auto windowFirst = qScopeGuard([this] { form_.reset(); });
    form_ = std::make_unique<MainWindow>(std::vector{dir_.path().string()}, nullptr,
                                         DefaultPictureDecoders(),
                                         ShowingOptions{.colours = &colours, .overview = true});
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    QWidget& cells = *Grid().viewport();
    const QPoint c = Grid().BoxRect(2).center();
    EXPECT_TRUE(WaitUntil([&] {
        return Grid().Service().StateOf(2) == ThumbnailService::State::Ready &&
               fixtures::Near(cells.grab().toImage(), c.x(), c.y(), expected, 2);
    })) << "expected "
        << expected.red << ", " << expected.green << ", " << expected.blue;
}

} // namespace
} // namespace tessaly::testing
