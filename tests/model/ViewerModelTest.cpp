// The viewer's arithmetic without widgets: fit, actual size, zoom steps and their scrolling,
// panning, resizing, the selection and its caption, and the pick windows' display sizes.
#include "model/ViewerModel.h"

#include "model/Pick.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly {
// Rectangles in failure messages as (left, top, width x height).
void PrintTo(const Rect& r, std::ostream* out) {
    *out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
}
} // namespace tessaly

using namespace tessaly;

namespace {

// A model driven as the main window drives it: a client area of 585 x 394 (the main
// window's client size) with 14-pixel scroll bars, over entries "/p/1.jpg", "/p/2.jpg", ... holding
// pictures of the given sizes (no size: a file that is not a valid picture).
class View {
public:
    explicit View(std::vector<std::optional<Size>> pictures, Size client = {585, 394})
        : pictures_(std::move(pictures)) {
        model.Reset();
        model.SetBarExtent(14);
        model.ClientResized(client.width, client.height);
        FileListType entries;
        for (std::size_t i = 1; i <= pictures_.size(); ++i)
            entries.push_back("/p/" + std::to_string(i) + ".jpg");
        model.List().Replace(std::move(entries));
    }
    // Loads entry k as ShowEntry does.
    void Load(int k) {
        model.StartLoading();
        EXPECT_TRUE(model.PictureLoaded(pictures_[static_cast<std::size_t>(k - 1)]));
        model.UpdateCaption(k);
    }
    // The caption of entry k of the list at `percent`.
    std::string Caption(const std::string& percent, int k = 1) const {
        return "Tess /p/" + std::to_string(k) + ".jpg [" + percent + "%](" + std::to_string(k) +
               "/" + std::to_string(model.List().Count()) + " files)";
    }
    void Press(int x, int y) {
        model.PressPicture(x, y);
        model.ReleasePicture();
    }

    ViewerModel model{[](std::string_view path) { return std::string(path); }};

private:
    std::vector<std::optional<Size>> pictures_;
};

// One picture of the given size, shown.
View Shown(Size picture, Size client = {585, 394}) {
    View view({picture}, client);
    view.Load(view.model.List().First());
    return view;
}

// Places the selection rectangle at `r` through its own drags, as a user would: the
// rectangle by its top-left pixel, then the handle to the corner.
void PlaceSelection(ViewerModel& model, Rect r) {
    const Rect shape = model.SelectionRect();
    model.StartSelectionDrag(true, 0, 0, SelectionDrag::Move);
    model.DragSelection(r.left - shape.left, r.top - shape.top, SelectionDrag::Move);
    model.EndSelectionDrag(SelectionDrag::Move);
    const Rect handle = model.HandleRect();
    model.StartSelectionDrag(true, 0, 0, SelectionDrag::Resize);
    model.DragSelection(r.left + r.width - 3 - handle.left, r.top + r.height - 3 - handle.top,
                        SelectionDrag::Resize);
    model.EndSelectionDrag(SelectionDrag::Resize);
}

} // namespace

TEST(FitRect, ShrinksByTheLimitingSideTruncatingAndCentres) {
    const Size client{585, 394};
    // Fits: the control keeps its size, even one shrunk earlier, and is centred.
    EXPECT_EQ(FitRect(300, 400, {0, 0, 400, 300}, client), (Rect{92, 47, 400, 300}));
    EXPECT_EQ(FitRect(150, 200, {0, 0, 100, 75}, {400, 300}), (Rect{150, 112, 100, 75}));
    // Only too high: 218.9 wide. Only too wide: 58.5 high.
    EXPECT_EQ(FitRect(900, 500, {}, client), (Rect{183, 0, 218, 394}));
    EXPECT_EQ(FitRect(100, 1000, {}, client), (Rect{0, 168, 585, 58}));
    // Both: the height first (197 wide fits), else the width (height 394 gives 591 > 585).
    EXPECT_EQ(FitRect(2000, 1000, {}, client), (Rect{194, 0, 197, 394}));
    EXPECT_EQ(FitRect(2000, 3000, {}, client), (Rect{0, 2, 585, 390}));
    // A client area under 2 pixels either way changes nothing.
    const Rect shown{3, 4, 50, 60};
    EXPECT_EQ(FitRect(2000, 3000, shown, {1, 394}), shown);
    EXPECT_EQ(FitRect(2000, 3000, shown, {585, 1}), shown);
}

TEST(ViewerModel, FitFollowsTheClientWhileThePictureIsLargerThanIt) {
    View view = Shown({3000, 2000});
    view.model.ClientResized(300, 394);
    EXPECT_EQ(view.model.Image(), (Rect{0, 97, 300, 200}));
    EXPECT_EQ(view.model.Caption(), view.Caption("10.0"));
    view.model.ClientResized(450, 394);
    EXPECT_EQ(view.model.Image(), (Rect{0, 47, 450, 300}));
    view.model.ClientResized(1, 394); // too small to fit into: nothing changes
    EXPECT_EQ(view.model.Image(), (Rect{0, 47, 450, 300}));
    view.model.ClientResized(3500, 2500); // the whole picture fits: it keeps its last size
    EXPECT_EQ(view.model.Image(), (Rect{(3500 - 450) / 2, (2500 - 300) / 2, 450, 300}));
}

TEST(ViewerModel, AnOrientedPictureIsLaidOutAndSelectedByItsUprightSize) {
    // Stored 3000 x 2000, shown a quarter turned: as an untagged 2000 x 3000 picture.
    View upright = Shown({2000, 3000});
    View turned({Size{3000, 2000}});
    const int k = turned.model.List().First();
    turned.model.StartLoading();
    ASSERT_TRUE(turned.model.PictureLoaded(Size{3000, 2000}, Orientation::QuarterClockwise));
    turned.model.UpdateCaption(k);
    for (View* view : {&upright, &turned}) {
        view->model.PressPanel(150, 120);
        view->model.ToggleSelection();
        ASSERT_TRUE(view->model.StepZoom(5));
    }
    EXPECT_EQ(turned.model.Image(), upright.model.Image());
    EXPECT_EQ(turned.model.Caption(), upright.model.Caption());
    EXPECT_EQ(turned.model.SelectedArea(), upright.model.SelectedArea());
    EXPECT_EQ(turned.model.PictureSize(), (Size{2000, 3000}));
    // The pixels are asked for at the stored shape of the shown size.
    EXPECT_EQ(turned.model.ToStored({400, 300}), (Size{300, 400}));
    EXPECT_EQ(turned.model.Mapping().Stored(), (Size{3000, 2000}));
    ASSERT_TRUE(turned.model.PictureLoaded(Size{3000, 2000}, Orientation::HalfTurn));
    EXPECT_EQ(turned.model.ToStored({400, 300}), (Size{400, 300}));
}

TEST(ViewerModel, ActualSizeOfASmallPictureStaysTopLeftUntilAZoomStepCentresIt) {
    View view = Shown({400, 300});
    ASSERT_TRUE(view.model.ActualSize());
    EXPECT_EQ(view.model.Panel(), (Rect{0, 0, 400, 300}));
    // The picture fills the panel interior (398 of 400 pixels): one step gives 1.045,
    // a 418 x 314 panel centred in the 585 x 394 client area.
    ASSERT_TRUE(view.model.StepZoom(1));
    EXPECT_EQ(view.model.Panel(), (Rect{83, 40, 418, 314}));
}

TEST(ViewerModel, ZoomIsLimitedButScrollsWithTheUnlimitedRatio) {
    View view = Shown({400, 300});
    for (int i = 0; i < 25; ++i)
        view.model.StepZoom(-5);
    EXPECT_EQ(view.model.Snapshot().zoom, 0.01L);
    EXPECT_EQ(view.model.Panel(), (Rect{290, 195, 4, 3}));
    for (int i = 0; i < 20; ++i)
        view.model.StepZoom(5);
    EXPECT_EQ(view.model.Snapshot().zoom, 4.0L);
    ASSERT_EQ(view.model.Snapshot().ratio, 1598.0L / 400);
    // One more step: 4.245 is limited to 4, the panel stays 1600 x 1200. From (500, 300)
    // with the anchor at (1000, 700) in the 571 x 380 client area, f = 286 - 500 and
    // g = 190 - 400; r = 4.245 / 3.995 gives Round(214 r) = 227 and Round(210 r) = 223
    // (the limited ratio 4 / 3.995 would give 214 and 210).
    view.model.ScrollTo(500, 300);
    view.Press(1000, 700);
    ASSERT_TRUE(view.model.StepZoom(5));
    EXPECT_EQ(view.model.Snapshot().zoom, 4.0L);
    EXPECT_EQ(view.model.Panel(), (Rect{-727, -523, 1600, 1200}));
    EXPECT_EQ(view.model.Client().HorzPosition(), 727);
    EXPECT_EQ(view.model.Client().VertPosition(), 523);
}

TEST(ViewerModel, ZoomBeforeAnyPictureGivesTheLargestMagnificationToTheFirstOne) {
    View view({Size{100, 50}});
    ASSERT_TRUE(view.model.StepZoom(1)); // the ratio is still 100: 100.05, limited to 4
    EXPECT_EQ(view.model.Snapshot().zoom, 4.0L);
    EXPECT_EQ(view.model.Caption(), ViewerModel::StartupCaption());
    view.Load(view.model.List().First());
    EXPECT_EQ(view.model.Panel().width, 400);
    EXPECT_EQ(view.model.Panel().height, 200);
    EXPECT_EQ(view.model.Caption(), view.Caption("398.0"));
}

TEST(ViewerModel, NextPictureKeepsTheMagnification) {
    View view({Size{200, 100}, Size{100, 100}});
    view.Load(view.model.List().First());
    ASSERT_TRUE(view.model.StepZoom(5)); // 1.25
    view.Load(view.model.List().Next());
    EXPECT_EQ(view.model.Snapshot().zoom, 1.25L);
    EXPECT_EQ(view.model.Panel().width, 125);
    EXPECT_EQ(view.model.Panel().height, 125);
    EXPECT_EQ(view.model.Caption(), view.Caption("123.0", 2));
}

// The zoom step centres the client area on the anchor: f = Round(CW / 2) - AncX, halves to
// even. A picture of 3000 x 300 fitted to the width has only a horizontal scroll bar after
// one step (a panel 134 high), so CW is the whole width.
TEST(ViewerModel, ZoomStepScrollsTheAnchorToTheCentreRoundingHalvesToEven) {
    // 585: ratio 0.195, r = 0.445 / 0.195; f = Round(292.5) - 500 = -208 and
    // Round(208 r) = Round(474.67) = 475 (halves up would give 293 and 472).
    View narrow = Shown({3000, 300});
    narrow.Press(500, 20);
    ASSERT_TRUE(narrow.model.StepZoom(5));
    ASSERT_FALSE(narrow.model.Client().VertBarVisible());
    EXPECT_EQ(narrow.model.Client().ClientWidth(), 585);
    EXPECT_EQ(narrow.model.Client().HorzPosition(), 475);
    EXPECT_EQ(narrow.model.Panel(), (Rect{-475, 123, 1335, 134}));
    // 587: ratio 587 / 3000, f = Round(293.5) - 500 = -206 and Round(206 r) = 469
    // (truncating would give 293 and 471).
    View wide = Shown({3000, 300}, {587, 394});
    wide.Press(500, 20);
    ASSERT_TRUE(wide.model.StepZoom(5));
    EXPECT_EQ(wide.model.Client().ClientWidth(), 587);
    EXPECT_EQ(wide.model.Client().HorzPosition(), 469);
}

TEST(ViewerModel, PanelSmallerThanTheClientIsCentredByAZoomStep) {
    View view = Shown({200, 100});
    view.Press(10, 10);
    ASSERT_TRUE(view.model.StepZoom(-1)); // 0.95: 190 x 95
    EXPECT_EQ(view.model.Panel(), (Rect{(585 - 190) / 2, (394 - 95) / 2, 190, 95}));
    EXPECT_EQ(view.model.Client().HorzPosition(), 0);
    EXPECT_FALSE(view.model.Client().HorzBarVisible());
}

TEST(ViewerModel, DraggingPansOnlyWithinTheScrollRange) {
    View small = Shown({200, 100});
    small.model.PressPicture(50, 50);
    small.model.DragPicture(20, 20, nullptr);
    EXPECT_EQ(small.model.Client().HorzPosition(), 0);
    EXPECT_EQ(small.model.Image(), (Rect{192, 147, 200, 100}));

    View big = Shown({3000, 2000});
    ASSERT_TRUE(big.model.ActualSize());
    big.model.PressPicture(100, 100);
    big.model.DragPicture(90, 80, nullptr);
    EXPECT_EQ(big.model.Client().HorzPosition(), 10);
    EXPECT_EQ(big.model.Client().VertPosition(), 20);
    // Right and down by more than the position: that axis stays for the step.
    big.model.DragPicture(140, 85, nullptr);
    EXPECT_EQ(big.model.Client().HorzPosition(), 10);
    EXPECT_EQ(big.model.Client().VertPosition(), 15);
}

TEST(ViewerModel, HandleSitsOnTheBottomRightPixelAndTheRectangleIsCentredOnTheAnchor) {
    View view({});
    ViewerModel& m = view.model;
    EXPECT_EQ(m.SelectionRect(), (Rect{120, 40, 64, 48}));
    EXPECT_EQ(m.HandleRect(), (Rect{120 + 61, 40 + 45, 5, 5}));
    PlaceSelection(m, {10, 20, 1, 1});
    EXPECT_EQ(m.SelectionRect(), (Rect{10, 20, 1, 1}));
    EXPECT_EQ(m.HandleRect(), (Rect{10 - 2, 20 - 2, 5, 5}));
    // Centred on the press with halves to even: 64 / 2, Round(32.5) = 32, Round(33.5) = 34.
    m.PressPanel(200, 150);
    for (const auto& [width, left] :
         {std::pair{64, 200 - 32}, std::pair{65, 200 - 32}, std::pair{67, 200 - 34}}) {
        PlaceSelection(m, {0, 0, width, 48});
        m.ShowSelection(true);
        EXPECT_EQ(m.SelectionRect(), (Rect{left, 150 - 24, width, 48})) << width;
    }
    EXPECT_TRUE(m.SelectionVisible());
    m.ShowSelection(false);
    EXPECT_FALSE(m.SelectionVisible());
}

TEST(ViewerModel, SelectionCaptionPadsNumbersAndConvertsSizesToActualPixels) {
    // 800 x 600 fitted into 400 x 300: shown at (0, 0), 400 x 300, a ratio of 0.5.
    View view = Shown({800, 600}, {400, 300});
    ViewerModel& model = view.model;
    ASSERT_EQ(model.Snapshot().ratio, 0.5L);
    EXPECT_EQ(model.Caption(), view.Caption("50.0"));
    model.PressPanel(152, 69); // the 64 x 48 rectangle at (120, 45)
    model.ToggleSelection();
    EXPECT_EQ(model.SelectionRect(), (Rect{120, 45, 64, 48}));
    EXPECT_EQ(model.SelectionCaption(SelectionDrag::Move),
              "選択範囲移動 位置( 120,  45) 実サイズ[ 128,  96]");
    // Resizing to 3 x 1 displayed pixels: 6 x 2 actual ones; past the corner: 1 x 1.
    ASSERT_TRUE(model.StartSelectionDrag(true, 0, 0, SelectionDrag::Resize));
    model.DragSelection(3 - 64, 1 - 48, SelectionDrag::Resize);
    EXPECT_EQ(model.Caption(), "選択範囲拡縮 位置( 120,  45) 実サイズ[   6,   2]");
    model.EndSelectionDrag(SelectionDrag::Resize);
    EXPECT_EQ(model.Caption(), view.Caption("50.0"));
    EXPECT_EQ(model.SelectedArea(), (Rect{240, 90, 6, 2}));
    // Back to displayed pixels, halves to even.
    EXPECT_EQ(model.DisplayedArea({240, 90, 6, 2}), (Rect{120, 45, 3, 1}));
    EXPECT_EQ(model.DisplayedArea({241, 91, 7, 3}), (Rect{120, 46, 4, 2}));
    ASSERT_TRUE(model.StartSelectionDrag(true, 0, 0, SelectionDrag::Resize));
    model.DragSelection(-200, -200, SelectionDrag::Resize);
    model.EndSelectionDrag(SelectionDrag::Resize);
    EXPECT_EQ(model.SelectionRect(), (Rect{120, 45, 1, 1}));
    EXPECT_EQ(model.HandleRect(), (Rect{118, 43, 5, 5}));
}

TEST(ViewerModel, SelectionMovesOffThePictureWithNegativePositions) {
    View view = Shown({400, 300}); // at (92, 47), 100 %
    view.model.PressPanel(100, 60);
    view.model.ToggleSelection(); // at (68, 36)
    ASSERT_TRUE(view.model.StartSelectionDrag(true, 1, 1, SelectionDrag::Move));
    view.model.DragSelection(-150, -100, SelectionDrag::Move);
    EXPECT_EQ(view.model.Caption(), "選択範囲移動 位置(-175,-112) 実サイズ[  64,  48]");
}

TEST(ViewerModel, SelectionIsCentredWhereThePictureWasPressedWhenLetterboxed) {
    // 200 x 100 fits unchanged into 585 x 394 and is centred at (192, 147).
    View view = Shown({200, 100});
    ASSERT_EQ(view.model.Image(), (Rect{192, 147, 200, 100}));
    view.Press(40, 30);
    EXPECT_EQ(view.model.Snapshot().anchor.x, 40) << "the zoom anchor stays in picture coordinates";
    view.model.ToggleSelection();
    EXPECT_EQ(view.model.SelectionRect(), (Rect{192 + 40 - 32, 147 + 30 - 24, 64, 48}));
}

TEST(ViewerModel, WhileSelectingPressesPanButKeepTheAnchor) {
    View view = Shown({3000, 2000});
    ASSERT_TRUE(view.model.ActualSize());
    view.model.PressPanel(300, 200);
    view.model.ToggleSelection();
    view.model.PressPicture(100, 100);
    view.model.DragPicture(80, 90, nullptr);
    view.model.ReleasePicture();
    EXPECT_EQ(view.model.Client().HorzPosition(), 20);
    view.model.PressPanel(3, 3);
    EXPECT_EQ(view.model.Snapshot().anchor.x, 300);
    EXPECT_EQ(view.model.Snapshot().anchor.y, 200);
}

TEST(ViewerModel, ModeFollowsFitActualSizeZoomStepsAndDoubleClicks) {
    View view = Shown({400, 300});
    ViewerModel& m = view.model;
    EXPECT_EQ(m.Mode(), ViewMode::Fit);
    m.ActualSize();
    EXPECT_EQ(m.Mode(), ViewMode::ActualSize);
    m.Fit();
    m.DoubleClickPicture();
    EXPECT_EQ(m.Mode(), ViewMode::Zoomed);
    m.ActualSize();
    m.StepZoom(-1);
    EXPECT_EQ(m.Mode(), ViewMode::Zoomed);
}

TEST(ViewerModel, SteppingIsEnabledForTwoOrMoreEntriesAsOfTheListsStart) {
    View view({Size{8, 8}, Size{8, 8}});
    ViewerModel& m = view.model;
    const auto keepOrder = [](FileListType&) {};
    EXPECT_FALSE(m.CanStep());
    EXPECT_TRUE(m.StartList(keepOrder));
    EXPECT_TRUE(m.CanStep());
    m.List().Replace({}); // a drop starts with an empty list
    EXPECT_TRUE(m.CanStep());
    m.List().Replace({"/p/1.jpg"});
    EXPECT_TRUE(m.StartList(keepOrder));
    EXPECT_FALSE(m.CanStep());
    m.List().Replace({});
    EXPECT_FALSE(m.StartList(keepOrder));
}

TEST(ViewerModel, OverlayEndsSelectionModeAndAnEmptyListOnlyLeavesIt) {
    View view = Shown({400, 300});
    ViewerModel& m = view.model;
    m.ToggleSelection();
    ASSERT_TRUE(m.Selecting());
    EXPECT_TRUE(m.CopyAndPickAllowed());
    m.ToggleOverlay();
    EXPECT_FALSE(m.Selecting());
    EXPECT_FALSE(m.SelectionAllowed());
    EXPECT_FALSE(m.CopyAndPickAllowed());
    EXPECT_FALSE(m.SelectionVisible());
    m.ToggleOverlay();
    EXPECT_TRUE(m.SelectionAllowed());
    EXPECT_FALSE(m.Selecting());

    // A drop that found nothing empties the list: "範囲選択" then only ends the mode, the
    // rectangle and its commands stay, and a press on the panel moves the anchor again.
    m.ToggleSelection();
    m.List().Replace({});
    m.ToggleSelection();
    EXPECT_FALSE(m.Selecting());
    EXPECT_TRUE(m.SelectionVisible());
    EXPECT_TRUE(m.CopyAndPickAllowed());
    m.PressPanel(7, 9);
    EXPECT_EQ(m.Snapshot().anchor, (Point{7, 9}));
}

TEST(ViewerModel, SelectionModeIsRefusedWhileTheOverlayIsShown) {
    View view = Shown({400, 300});
    ViewerModel& m = view.model;
    m.ToggleOverlay();
    EXPECT_FALSE(m.ToggleSelection());
    EXPECT_FALSE(m.Selecting());
    EXPECT_FALSE(m.SelectionVisible());
    EXPECT_FALSE(m.CopyAndPickAllowed());
    m.ToggleOverlay();
    EXPECT_TRUE(m.ToggleSelection());
    EXPECT_TRUE(m.Selecting());
}

TEST(Pick, FirstPickGoesBesideTheMainWindowAsFirstActivatedLaterOnesBesideThePreviousPick) {
    PickPlacement framedFirst;
    framedFirst.FrameSettled({100, 50});
    framedFirst.FirstActivation({100, 50});
    // The main window has moved since: the first pick still goes beside its first corner.
    EXPECT_EQ(framedFirst.NextCorner(std::nullopt, {300, 300}), (Point{120, 70}));
    // Later picks go beside the previous pick window, wherever it has been moved to.
    EXPECT_EQ(framedFirst.NextCorner(Point{500, 20}, {300, 300}), (Point{520, 40}));

    // Activated before the window manager framed the window: the corner it settles at.
    PickPlacement activatedFirst;
    activatedFirst.FirstActivation({0, 0});
    activatedFirst.FrameSettled({200, 150});
    EXPECT_EQ(activatedFirst.NextCorner(std::nullopt, {300, 300}), (Point{220, 170}));

    // Picked before the frame was reported: the main window's corner at the pick.
    PickPlacement pickedFirst;
    pickedFirst.FirstActivation({0, 0});
    EXPECT_EQ(pickedFirst.NextCorner(std::nullopt, {40, 30}), (Point{60, 50}));
    pickedFirst.FrameSettled({200, 150});
    EXPECT_EQ(pickedFirst.NextCorner(std::nullopt, {300, 300}), (Point{60, 50}));
}

TEST(Pick, DisplaySizeKeepsSmallPicksAndHalvesLargeOnes) {
    const Size main{593, 428};
    // 600 > 428: h = 214, w = Round(214 / 0.6) = 357 > 296, so w = 296, h = Round(177.6).
    EXPECT_EQ(PickDisplaySize({1000, 600}, main), (Size{296, 178}));
    EXPECT_EQ(PickDisplaySize({500, 900}, main), (Size{119, 214})); // Round(214 / 1.8)
    EXPECT_EQ(PickDisplaySize({200, 150}, main), (Size{200, 150}));
    EXPECT_EQ(PickDisplaySize({100, 428}, main), (Size{100, 428}));
    EXPECT_EQ(PickDisplaySize({100, 429}, main), (Size{50, 214}));
    EXPECT_EQ(PickCaption(1, {1000, 600}), "取出[1] サイズ(1000,600)");
    EXPECT_EQ(PickHint({296, 178}, {1000, 600}, PickHintForm::AsPicked),
              "29.6%表示 実サイズ(1000,600)");
    EXPECT_EQ(PickHint({200, 150}, {200, 150}, PickHintForm::AsPicked),
              "100.0%表示 実サイズ(200,150)");
    EXPECT_EQ(PickHint({119, 214}, {500, 900}, PickHintForm::AsPicked),
              "23.8%表示 実サイズ(500,900)");
    EXPECT_EQ(PickHint({500, 300}, {1000, 600}, PickHintForm::Resized),
              "50.0%(500,300)表示 実サイズ(1000,600)");
    EXPECT_EQ(NextPickCorner({200, 150}), (Point{220, 170}));
}
