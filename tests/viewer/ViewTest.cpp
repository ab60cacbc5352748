// The main window as it starts, and a loaded picture fitted, at actual size and fitted again:
// the model's layout reaching the controls, the caption and the menu's check marks; the
// file's own preview drawn while the picture's pixels are awaited.
#include "MainWindowFixture.h"
#include "tests/support/ExifBuilder.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace tessaly;
using namespace tessaly::testing;

TEST_F(MainWindowTest, StartsWithTheStartupCaptionAndTheFullMenu) {
    MainWindow& f = Open();
    EXPECT_EQ(Caption(), QStringLiteral("Tess v0.1 '060717 By Pellori Lumivex "
                                        "https://pellori.example/contact/contact_me.html"));
    EXPECT_EQ(f.size(), QSize(585, 394)); // outer 593 x 428 with the assumed frame
    EXPECT_EQ(f.Snapshot().ratio, 100.0L);
    EXPECT_EQ(f.Snapshot().zoom, 0.0L);
    EXPECT_TRUE(f.Ui().fitItem->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().fitItem));
    EXPECT_FALSE(f.Ui().actualSizeItem->isChecked());
    for (QAction* disabled :
         {f.Ui().copyAreaItem, f.Ui().pickAreaItem, f.Ui().cropSaveItem, f.Ui().nextItem,
          f.Ui().previousItem, f.Ui().firstItem, f.Ui().trashItem, f.Ui().moveItem,
          f.Ui().moveAgainItem, f.Ui().copyItem})
        EXPECT_FALSE(disabled->isEnabled()) << disabled->text().toStdString();
    for (QAction* enabled : {f.Ui().zoomIn5Item, f.Ui().overlayItem, f.Ui().selectionItem,
                             f.Ui().readmeItem, f.Ui().endItem})
        EXPECT_TRUE(enabled->isEnabled()) << enabled->text().toStdString();
    EXPECT_EQ(f.Ui().menu->actions().size(), 37);
    EXPECT_FALSE(f.Ui().selectionFrame->isVisible());
    EXPECT_FALSE(f.Ui().selectionHandle->isVisible());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(MainWindowTest, LargePictureIsFittedIntoThePanel) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    MainWindow& f = Open({path});
    ExpectShowsTheModel();
    EXPECT_EQ(PanelBounds(), QRect(0, 0, 585, 394));
    EXPECT_EQ(ImageBounds().width(), 585);
    EXPECT_EQ(f.Snapshot().ratio, 585.0L / 3000.0L);
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [19.5%](1/1 files)").arg(Q(path)));
    EXPECT_EQ(f.Snapshot().picture.width, 3000);
    EXPECT_EQ(f.Snapshot().picture.height, 2000);
}

TEST_F(MainWindowTest, ActualSizeShowsThePanelInteriorRatio) {
    const std::string path = WriteJpeg(dir_, "vga.JPG", 640, 480);
    MainWindow& f = Open({path});
    f.Ui().actualSizeItem->trigger();
    EXPECT_EQ(f.Snapshot().zoom, 1.0L);
    EXPECT_EQ(f.Ui().panel->width(), 640);
    EXPECT_EQ(f.Ui().picture->width(), 638);
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [99.7%](1/1 files)").arg(Q(path)));
    EXPECT_TRUE(f.Ui().actualSizeItem->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().actualSizeItem));
    EXPECT_FALSE(f.Ui().fitItem->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().fitItem));
}

TEST_F(MainWindowTest, FitAfterAMagnificationKeepsThePanelInteriorSize) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 200, 100);
    MainWindow& f = Open({path});
    f.Ui().zoomIn5Item->trigger(); // 1.25: panel 250 x 125, picture 248 x 123
    f.Ui().fitItem->trigger();
    EXPECT_EQ(ImageBounds().size(), QSize(248, 123));
    EXPECT_EQ(ImageBounds().topLeft(), QPoint((585 - 248) / 2, (394 - 123) / 2));
    EXPECT_TRUE(f.Ui().fitItem->isChecked());
}

TEST_F(MainWindowTest,
       FilesOwnPreviewIsDrawnFittedUntilThePicturesPixelsComeAndTheCaptionIsThePictures) {
    fixtures::ExifBuilder exif;
    exif.Thumbnail(
        fixtures::EncodeJpeg(fixtures::SolidBitmap(150, 100, 30, 200, 40), {.jfif = false}));
    const auto path = dir_ / "camera.JPG";
    fixtures::WriteFile(
        path,
        fixtures::EncodeJpeg(fixtures::SolidBitmap(3000, 2000, 200, 60, 90),
                             {.quality = 50, .segments = {fixtures::ExifSegment(exif.Build())}}));
    // The picture's own decodes are held back until the test lets them go.
    std::atomic<bool> go = false;
    PictureDecoders decoders = DefaultPictureDecoders();
    const auto hold = [&go](const CancelFlag& cancel) {
        while (!go && !cancel.Cancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    decoders.decodeScaled = [hold, scaled = decoders.decodeScaled](
                                const std::string& file, int minWidth, int minHeight,
                                const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
        hold(cancel);
        return scaled(file, minWidth, minHeight, cancel, fullWidth, fullHeight);
    };
    decoders.decodeFull = [hold, full = decoders.decodeFull](const std::string& file,
                                                             const CancelFlag& cancel) {
        hold(cancel);
        return full(file, cancel);
    };
    form_ = std::make_unique<MainWindow>(std::vector<std::string>{path.string()}, nullptr,
                                         std::move(decoders));
    MainWindow& f = *form_;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    ASSERT_TRUE(WaitUntil([&f] { return f.Ui().picture->Picture()->ShowsStandIn(); }));

    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [19.5%](1/1 files)").arg(Q(path.string())));
    EXPECT_EQ(ImageBounds().size(), QSize(585, 390));
    const auto centre = [&f] {
        const QImage shot = f.Ui().picture->grab().toImage();
        return shot.pixelColor(shot.width() / 2, shot.height() / 2);
    };
    const auto near = [](QColor got, QColor want) {
        return std::abs(got.red() - want.red()) <= 4 && std::abs(got.green() - want.green()) <= 4 &&
               std::abs(got.blue() - want.blue()) <= 4;
    };
    const QImage standIn = f.Ui().picture->grab().toImage();
    EXPECT_TRUE(near(centre(), QColor(40, 200, 30))) << centre().name().toStdString();
    EXPECT_TRUE(
        near(standIn.pixelColor(standIn.width() - 1, standIn.height() - 1), QColor(40, 200, 30)))
        << "stretched over the whole picture";

    go = true;
    WaitForPixels();
    EXPECT_TRUE(near(centre(), QColor(90, 60, 200))) << centre().name().toStdString();
    ExpectShowsTheModel();
}
