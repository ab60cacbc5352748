// Full screen's rules (the place kept and returned to, the pick windows held above it, Escape, the
// fit into the screen) and the slideshow's clock on a clock the test sets: due steps, waits, skips
// while held, catching up after a late step, the end when the list can no longer be stepped
// through.
#include "model/FullScreenMode.h"
#include "model/Slideshow.h"
#include "model/ViewerModel.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace std::chrono_literals;

namespace {

bool Same(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

TEST(FullScreenModeTest, KeepsThePlaceOfTheFirstEntryAndHoldsThePicksUntilLeft) {
    FullScreenMode mode;
    EXPECT_FALSE(mode.Leave()); // not in full screen: nothing to return to
    EXPECT_FALSE(mode.PicksBelongToMainWindow());
    const WindowPlace window{{100, 80, 585, 394}, false};
    const Rect screen{0, 0, 1920, 1080};
    const std::optional<Rect> target = mode.Enter(window, screen);
    ASSERT_TRUE(target);
    EXPECT_TRUE(Same(*target, screen));
    EXPECT_TRUE(mode.On());
    EXPECT_TRUE(mode.PicksBelongToMainWindow());
    // Entered again (F11 repeated by the window system, say), the place stays the window's,
    // never full screen's own, and the picks stay held.
    EXPECT_FALSE(mode.Enter({screen, false}, screen));
    EXPECT_TRUE(mode.PicksBelongToMainWindow());
    const std::optional<WindowPlace> back = mode.Leave();
    ASSERT_TRUE(back);
    EXPECT_TRUE(Same(back->client, window.client));
    EXPECT_FALSE(back->maximised);
    EXPECT_FALSE(mode.On());
    EXPECT_FALSE(mode.PicksBelongToMainWindow());
    EXPECT_FALSE(mode.Leave());

    ASSERT_TRUE(mode.Enter({{0, 0, 1900, 1000}, true}, screen));
    EXPECT_TRUE(mode.Leave()->maximised);
}

TEST(FullScreenModeTest, EscapeLeavesFullScreenFirstThenStopsTheSlideshow) {
    EXPECT_EQ(EscapeMeaning(true, true), EscapeAction::LeaveFullScreen);
    EXPECT_EQ(EscapeMeaning(true, false), EscapeAction::LeaveFullScreen);
    EXPECT_EQ(EscapeMeaning(false, true), EscapeAction::StopSlideshow);
    EXPECT_EQ(EscapeMeaning(false, false), EscapeAction::Nothing);
    EXPECT_TRUE(KeepScreenAwake(true, true));
    EXPECT_FALSE(KeepScreenAwake(true, false));
    EXPECT_FALSE(KeepScreenAwake(false, true));
}

// The picture is fit into the screen with no scroll bar, zoomed steps scroll over it, and the
// window's own fit comes back with its client area.
TEST(FullScreenModeTest, TheFitAreaIsTheScreenWhileInFullScreen) {
    ViewerModel model([](std::string_view path) { return std::string(path); });
    model.Reset();
    model.SetBarExtent(14);
    model.ClientResized(585, 394);
    model.List().Replace({"/p/1.jpg", "/p/2.jpg"});
    ASSERT_TRUE(model.StartList([](FileListType&) {}));
    ASSERT_EQ(model.List().First(), 1);
    model.StartLoading();
    ASSERT_TRUE(model.PictureLoaded(Size{3000, 2000}));
    model.UpdateCaption(1);
    const Rect windowed = model.Image();

    ASSERT_TRUE(model.FullScreen().Enter({{10, 10, 585, 394}, false}, {0, 0, 1920, 1080}));
    model.ClientResized(1920, 1080);
    EXPECT_EQ(model.FitArea().width, 1920);
    EXPECT_EQ(model.FitArea().height, 1080);
    EXPECT_TRUE(Same(model.Image(), {150, 0, 1620, 1080}));
    EXPECT_FALSE(model.Client().HorzBarVisible());
    EXPECT_FALSE(model.Client().VertBarVisible());
    ASSERT_TRUE(model.StepZoom(1)); // taller than the screen: it scrolls
    EXPECT_TRUE(model.Client().VertBarVisible());
    ASSERT_TRUE(model.Fit());

    const std::optional<WindowPlace> back = model.FullScreen().Leave();
    ASSERT_TRUE(back);
    model.ClientResized(back->client.width, back->client.height);
    EXPECT_TRUE(Same(model.Image(), windowed));
}

using Tick = Slideshow::Tick;
const Slideshow::Clock::time_point t0{1000s};

TEST(SlideshowTest, StartsOnlyOverAListThatCanBeSteppedAndStepsAtWholeIntervals) {
    Slideshow show;
    EXPECT_EQ(show.Interval(), 3s);
    EXPECT_FALSE(show.Start(t0, false));
    EXPECT_FALSE(show.Running());
    EXPECT_EQ(show.OnTick(t0 + 5s, {}), Tick::None);

    ASSERT_TRUE(show.Start(t0, true));
    EXPECT_EQ(show.UntilDue(t0), 3000ms);
    // A timer that fires early waits for the rest.
    EXPECT_EQ(show.OnTick(t0 + 2999ms, {}), Tick::Wait);
    EXPECT_EQ(show.UntilDue(t0 + 2999ms), 1ms);
    // A late tick steps, and the next is still due at six seconds from the start.
    EXPECT_EQ(show.OnTick(t0 + 3004ms, {}), Tick::Step);
    EXPECT_EQ(show.UntilDue(t0 + 3004ms), 2996ms);
    EXPECT_EQ(show.OnTick(t0 + 6s, {}), Tick::Step);
    // A step later than a whole interval: the next is one interval after it, not at once.
    EXPECT_EQ(show.OnTick(t0 + 13s, {}), Tick::Step);
    EXPECT_EQ(show.UntilDue(t0 + 13s), 3000ms);
    EXPECT_EQ(show.UntilDue(t0 + 20s), 0ms);

    show.Stop();
    EXPECT_EQ(show.OnTick(t0 + 20s, {}), Tick::None);
}

TEST(SlideshowTest, HeldTicksAreSkippedAndALostListEndsIt) {
    Slideshow show;
    ASSERT_TRUE(show.Start(t0, true));
    // Not due: waiting, whether held or not.
    EXPECT_EQ(show.OnTick(t0 + 1s, {.held = true}), Tick::Wait);
    EXPECT_EQ(show.OnTick(t0 + 3s, {.held = true}), Tick::Skip);
    EXPECT_EQ(show.UntilDue(t0 + 3s), 3000ms);
    EXPECT_EQ(show.OnTick(t0 + 5s, {}), Tick::Wait);
    EXPECT_EQ(show.OnTick(t0 + 6s, {}), Tick::Step);
    EXPECT_TRUE(show.Running());
    EXPECT_EQ(show.OnTick(t0 + 9s, {.canStep = false}), Tick::Ended);
    EXPECT_FALSE(show.Running());
}

TEST(SlideshowTest, ANewIntervalCountsFromTheLastChangeOfPicture) {
    Slideshow show;
    ASSERT_TRUE(show.Start(t0, true));
    EXPECT_EQ(show.OnTick(t0 + 3s, {}), Tick::Step);
    show.SetInterval(10s);
    EXPECT_EQ(show.Interval(), 10s);
    EXPECT_EQ(show.UntilDue(t0 + 4s), 9000ms);
    show.SetInterval(2s);
    EXPECT_EQ(show.UntilDue(t0 + 4s), 1000ms);
    // Started again, the interval chosen stays.
    show.Stop();
    ASSERT_TRUE(show.Start(t0 + 30s, true));
    EXPECT_EQ(show.UntilDue(t0 + 30s), 2000ms);
}

} // namespace
