// The viewer's arithmetic without widgets: captions' numbers, the selection's centre and
// the pick windows' display sizes.
#include "model/ViewerModel.h"

#include <gtest/gtest.h>

using namespace tessaly;

namespace {

// A model with one entry shown in a client area of the given size, fitted.
ViewerModel Fitted(Size client, Size picture) {
    ViewerModel model([](std::string_view path) { return std::string(path); });
    model.Reset();
    model.SetBarExtent(14);
    model.ResizeClient(client.width, client.height);
    model.List().Replace({"/p/a.jpg"});
    model.List().First();
    model.PictureLoaded(picture);
    EXPECT_TRUE(model.SetJPEGOptions(picture));
    model.DspInfo1(1);
    return model;
}

} // namespace

TEST(ViewerModel, SelectionCaptionPadsNumbersAndConvertsSizesToActualPixels) {
    // 800 x 600 fitted into 400 x 300: shown at (0, 0), 400 x 300, a ratio of 0.5.
    ViewerModel model = Fitted({400, 300}, {800, 600});
    ASSERT_EQ(model.Snapshot().DspRatio, 0.5L);
    EXPECT_EQ(model.Caption(), "Tess /p/a.jpg [50.0%](1/1 files)");
    model.PanelMouseDown(152, 69); // the 64 x 48 rectangle at (120, 45)
    model.SetSelecting(true);
    EXPECT_EQ(model.SelectionRect(), (Rect{120, 45, 64, 48}));
    EXPECT_EQ(model.SelAreaCap(true), "選択範囲移動 位置( 120,  45) 実サイズ[ 128,  96]");
    // Resizing to 3 x 1 displayed pixels: 6 x 2 actual ones.
    ASSERT_TRUE(model.ShapeMouseDown(true, 0, 0, false));
    model.ShapeMouseMove(3 - 64, 1 - 48, false);
    EXPECT_EQ(model.Caption(), "選択範囲拡縮 位置( 120,  45) 実サイズ[   6,   2]");
    model.ShapeMouseUp(false);
    EXPECT_EQ(model.Caption(), "Tess /p/a.jpg [50.0%](1/1 files)");
    EXPECT_EQ(model.SelectedArea(), (Rect{240, 90, 6, 2}));
}

TEST(ViewerModel, SelectionIsCentredWhereThePictureWasPressedWhenLetterboxed) {
    // 200 x 100 fits unchanged into 585 x 394 and is centred at (192, 147).
    ViewerModel model = Fitted({585, 394}, {200, 100});
    ASSERT_EQ(model.Image(), (Rect{192, 147, 200, 100}));
    model.ImageMouseDown(40, 30);
    model.ImageMouseUp();
    EXPECT_EQ(model.Snapshot().AncX, 40) << "the zoom anchor stays in picture coordinates";
    model.SetSelecting(true);
    EXPECT_EQ(model.SelectionRect(), (Rect{192 + 40 - 32, 147 + 30 - 24, 64, 48}));
}

TEST(ViewerModel, PickDisplaySizeKeepsSmallPicksAndHalvesLargeOnes) {
    const Size main{593, 428};
    EXPECT_EQ(PickDisplaySize({1000, 600}, main), (Size{296, 178}));
    EXPECT_EQ(PickDisplaySize({500, 900}, main), (Size{119, 214}));
    EXPECT_EQ(PickDisplaySize({200, 150}, main), (Size{200, 150}));
    EXPECT_EQ(PickDisplaySize({100, 428}, main), (Size{100, 428}));
    EXPECT_EQ(PickDisplaySize({100, 429}, main), (Size{50, 214}));
    EXPECT_EQ(PickCaption(1, {1000, 600}), "取出[1] サイズ(1000,600)");
    EXPECT_EQ(PickHint({296, 178}, {1000, 600}), "29.6%表示 実サイズ(1000,600)");
}
