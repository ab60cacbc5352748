#include "model/ShownSize.h"

#include <gtest/gtest.h>

using namespace tessaly;

// A neighbour is shown at its own size, not the loaded picture's: fitted by its own shape
// (turned when its orientation says so, unless pictures are shown as stored), or at the kept
// zoom on the panel's interior.
TEST(ShownSize, EachPictureByItsOwnShapeOrientationAndTheKeptZoom) {
    const ShowingNow fit{ViewMode::Fit, 0, {585, 394}, false};
    EXPECT_EQ(ShownSizeOf({6000, 4000}, Orientation::AsStored, fit), (Size{585, 390}));
    EXPECT_EQ(ShownSizeOf({4000, 6000}, Orientation::AsStored, fit), (Size{262, 394}));
    // Stored landscape, shown upright as portrait: fitted as portrait, handed back as stored.
    EXPECT_EQ(ShownSizeOf({6000, 4000}, Orientation::QuarterClockwise, fit), (Size{394, 262}));
    ShowingNow asStored = fit;
    asStored.asStored = true;
    EXPECT_EQ(ShownSizeOf({6000, 4000}, Orientation::QuarterClockwise, asStored), (Size{585, 390}));
    // Smaller than the area: its own size.
    EXPECT_EQ(ShownSizeOf({300, 200}, Orientation::AsStored, fit), (Size{300, 200}));

    const ShowingNow zoomed{ViewMode::Zoomed, 4.0L, {585, 394}, false};
    EXPECT_EQ(ShownSizeOf({600, 400}, Orientation::AsStored, zoomed), (Size{2398, 1598}));
    EXPECT_EQ(ShownSizeOf({600, 400}, Orientation::QuarterClockwise, zoomed), (Size{2398, 1598}));
}
