// The main window as it starts, and a loaded picture fitted, at actual size and fitted again:
// the model's layout reaching the controls, the caption and the menu's check marks.
#include "MainWindowFixture.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST_F(MainWindowTest, StartsWithTheStartupCaptionAndTheMenuAsDesigned) {
    TForm1& f = Open();
    EXPECT_EQ(Caption(), QStringLiteral("Tess v0.1 '060717 By Pellori Lumivex "
                                        "https://pellori.example/contact/contact_me.html"));
    EXPECT_EQ(f.size(), QSize(585, 394)); // outer 593 x 428 with the design frame
    EXPECT_EQ(f.Snapshot().ratio, 100.0L);
    EXPECT_EQ(f.Snapshot().zoom, 0.0L);
    EXPECT_TRUE(f.Ui().N1->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().N1));
    EXPECT_FALSE(f.Ui().N2->isChecked());
    for (QAction* disabled :
         {f.Ui().AreaCopy, f.Ui().AreaPick, f.Ui().MI_nxt, f.Ui().MI_prv, f.Ui().MI_Head})
        EXPECT_FALSE(disabled->isEnabled()) << disabled->text().toStdString();
    for (QAction* enabled :
         {f.Ui().Enlarge5, f.Ui().Exif1, f.Ui().AreaSel, f.Ui().Help1, f.Ui().PickImgEnd})
        EXPECT_TRUE(enabled->isEnabled()) << enabled->text().toStdString();
    EXPECT_EQ(f.Ui().PopupMenu1->actions().size(), 18);
    EXPECT_FALSE(f.Ui().Shape1->isVisible());
    EXPECT_FALSE(f.Ui().Shape2->isVisible());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(MainWindowTest, LargePictureIsFittedIntoThePanel) {
    const std::string path = WriteJpeg(dir_, "big.JPG", 3000, 2000);
    TForm1& f = Open({path});
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
    TForm1& f = Open({path});
    f.Ui().N2->trigger();
    EXPECT_EQ(f.Snapshot().zoom, 1.0L);
    EXPECT_EQ(f.Ui().Panel1->width(), 640);
    EXPECT_EQ(f.Ui().Image1->width(), 638);
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [99.7%](1/1 files)").arg(Q(path)));
    EXPECT_TRUE(f.Ui().N2->isChecked());
    EXPECT_TRUE(IsDefault(*f.Ui().N2));
    EXPECT_FALSE(f.Ui().N1->isChecked());
    EXPECT_FALSE(IsDefault(*f.Ui().N1));
}

TEST_F(MainWindowTest, FitAfterAMagnificationKeepsThePanelInteriorSize) {
    const std::string path = WriteJpeg(dir_, "small.jpg", 200, 100);
    TForm1& f = Open({path});
    f.Ui().Enlarge5->trigger(); // 1.25: panel 250 x 125, picture 248 x 123
    f.Ui().N1->trigger();
    EXPECT_EQ(ImageBounds().size(), QSize(248, 123));
    EXPECT_EQ(ImageBounds().topLeft(), QPoint((585 - 248) / 2, (394 - 123) / 2));
    EXPECT_TRUE(f.Ui().N1->isChecked());
}
