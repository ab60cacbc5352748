// Loading, fitting, zooming, panning and the caption of the main window.
#include "MainWindowFixture.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {
QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

TEST_F(MainWindowTest, StartsWithTheStartupCaptionAndTheMenuAsDesigned) {
    TForm1& f = Open();
    EXPECT_EQ(Caption(), QStringLiteral("Tess v0.1 '060717 By Pellori Lumivex "
                                        "https://pellori.example/contact/contact_me.html"));
    EXPECT_EQ(f.size(), QSize(585, 394)); // outer 593 x 428 with the design frame
    EXPECT_EQ(f.Snapshot().DspRatio, 100.0L);
    EXPECT_EQ(f.Snapshot().Zoom, 0.0L);
    EXPECT_TRUE(f.N1->isChecked());
    EXPECT_TRUE(IsDefault(*f.N1));
    EXPECT_FALSE(f.N2->isChecked());
    for (QAction* disabled : {f.AreaCopy, f.AreaPick, f.MI_nxt, f.MI_prv, f.MI_Head})
        EXPECT_FALSE(disabled->isEnabled()) << disabled->text().toStdString();
    for (QAction* enabled : {f.Enlarge5, f.Exif1, f.AreaSel, f.Help1, f.PickImgEnd})
        EXPECT_TRUE(enabled->isEnabled()) << enabled->text().toStdString();
    EXPECT_EQ(f.PopupMenu1->actions().size(), 18);
    EXPECT_FALSE(f.Shape1->isVisible());
    EXPECT_FALSE(f.Shape2->isVisible());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(MainWindowTest, LargePictureIsFittedIntoThePanel) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    TForm1& f = Open({path});
    // Height 394 gives width 591, too wide: width 585 and height 390, centred at top 2.
    EXPECT_EQ(ImageBounds(), QRect(0, 2, 585, 390));
    EXPECT_EQ(PanelBounds(), QRect(0, 0, 585, 394));
    EXPECT_EQ(f.Snapshot().DspRatio, 585.0L / 3000.0L);
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [19.5%](1/1 files)").arg(Utf8(path)));
    EXPECT_EQ(f.Snapshot().ImgWidth, 3000);
    EXPECT_EQ(f.Snapshot().ImgHeight, 2000);
}

TEST_F(MainWindowTest, EnlargeByFiveStepsFromTheFittedPicture) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    TForm1& f = Open({path});
    f.Enlarge5->trigger();
    EXPECT_EQ(f.Snapshot().Zoom, 0.25L + 585.0L / 3000.0L);
    EXPECT_EQ(f.Panel1->size(), QSize(1335, 890));
    EXPECT_EQ(ImageBounds(), QRect(1, 1, 1333, 888));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [44.4%](1/1 files)").arg(Utf8(path)));
    EXPECT_FALSE(f.N1->isChecked());
    EXPECT_FALSE(IsDefault(*f.N1));
    EXPECT_FALSE(f.N2->isChecked());
    EXPECT_TRUE(f.Client->HorzBarVisible());
    EXPECT_TRUE(f.Client->VertBarVisible());
}

TEST_F(MainWindowTest, SmallPictureKeepsItsSizeAndIsCentred) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 400, 300);
    Open({path});
    EXPECT_EQ(ImageBounds(), QRect(92, 47, 400, 300));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [100.0%](1/1 files)").arg(Utf8(path)));
}

TEST_F(MainWindowTest, ActualSizeShowsThePanelInteriorRatio) {
    const std::string path = WriteJpeg(dir_, "vga.JPG", 640, 480);
    TForm1& f = Open({path});
    f.N2->trigger();
    EXPECT_EQ(f.Snapshot().Zoom, 1.0L);
    EXPECT_EQ(f.Panel1->width(), 640);
    EXPECT_EQ(f.Image1->width(), 638);
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [99.7%](1/1 files)").arg(Utf8(path)));
    EXPECT_TRUE(f.N2->isChecked());
    EXPECT_TRUE(IsDefault(*f.N2));
    EXPECT_FALSE(f.N1->isChecked());
    EXPECT_FALSE(IsDefault(*f.N1));
}

TEST_F(MainWindowTest, ActualSizeOfASmallPictureStaysTopLeftUntilAZoomStepCentresIt) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 400, 300);
    TForm1& f = Open({path});
    f.N2->trigger();
    EXPECT_EQ(PanelBounds(), QRect(0, 0, 400, 300));
    // The picture fills the panel interior (398 of 400 pixels): one step gives 1.045,
    // a 418 x 314 panel centred in the 585 x 394 client area.
    f.Enlarge1->trigger();
    EXPECT_EQ(PanelBounds(), QRect(83, 40, 418, 314));
}

TEST_F(MainWindowTest, ZoomStepsStopAtTheLimitsButScrollWithTheUnlimitedRatio) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 400, 300);
    TForm1& f = Open({path});
    for (int i = 0; i < 25; ++i)
        f.Reduction5->trigger();
    EXPECT_EQ(f.Snapshot().Zoom, 0.01L);
    EXPECT_EQ(f.Panel1->size(), QSize(4, 3));
    for (int i = 0; i < 20; ++i)
        f.Enlarge5->trigger();
    EXPECT_EQ(f.Snapshot().Zoom, 4.0L);
    EXPECT_EQ(f.Panel1->size(), QSize(1600, 1200));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(MainWindowTest, ZoomBeforeAnyPictureGivesTheLargestMagnificationToTheFirstOne) {
    TForm1& f = Open();
    f.Enlarge1->trigger(); // DspRatio is still 100: the step gives 100.05, limited to 4
    EXPECT_EQ(f.Snapshot().Zoom, 4.0L);
    EXPECT_EQ(f.Panel1->size(), QSize(0, 0));
    const std::string path = WriteJpeg(dir_, "small.jpg", 100, 50);
    f.DropFiles({path});
    EXPECT_EQ(f.Panel1->size(), QSize(400, 200));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [398.0%](1/1 files)").arg(Utf8(path)));
}

TEST_F(MainWindowTest, FitFollowsTheWindowWhileThePictureIsLargerThanThePanel) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    TForm1& f = Open({path});
    f.resize(300, 394);
    EXPECT_EQ(ImageBounds(), QRect(0, 97, 300, 200));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [10.0%](1/1 files)").arg(Utf8(path)));
    f.resize(450, 394);
    EXPECT_EQ(ImageBounds(), QRect(0, 47, 450, 300));
    f.resize(3500, 2500); // now the panel holds the whole picture: it keeps its last size
    EXPECT_EQ(ImageBounds().size(), QSize(450, 300));
    EXPECT_EQ(ImageBounds().topLeft(), QPoint((3500 - 450) / 2, (2500 - 300) / 2));
}

TEST_F(MainWindowTest, FitAfterAMagnificationKeepsThePanelInteriorSize) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 200, 100);
    TForm1& f = Open({path});
    f.Enlarge5->trigger(); // 1.25: panel 250 x 125, picture 248 x 123
    f.N1->trigger();
    EXPECT_EQ(ImageBounds().size(), QSize(248, 123));
    EXPECT_EQ(ImageBounds().topLeft(), QPoint((585 - 248) / 2, (394 - 123) / 2));
    EXPECT_TRUE(f.N1->isChecked());
}

TEST_F(MainWindowTest, TinyClientAreaChangesNothingWhenFitting) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    TForm1& f = Open({path});
    const QRect before = ImageBounds();
    f.resize(1, 394);
    EXPECT_EQ(ImageBounds(), before);
}

TEST_F(MainWindowTest, NextImageKeepsTheMagnification) {
    const std::string a = WriteJpeg(dir_, "a.jpg", 200, 100);
    const std::string b = WriteJpeg(dir_, "b.jpg", 100, 100);
    TForm1& f = Open({a, b});
    f.Enlarge5->trigger(); // 1.25
    f.MI_nxt->trigger();
    EXPECT_EQ(f.Snapshot().Zoom, 1.25L);
    EXPECT_EQ(f.Panel1->size(), QSize(125, 125));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [123.0%](2/2 files)").arg(Utf8(b)));
}
