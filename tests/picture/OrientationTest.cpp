#include "picture/Orientation.h"

#include "tests/picture/UprightReference.h"

#include <climits>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tessaly;
using tessaly::testing::kAllOrientations;
using tessaly::testing::ReferenceUpright;

namespace {

// A stored picture whose every pixel names its own place: blue is x, green is y.
Bitmap CoordinateBitmap(int width, int height) {
    Bitmap bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bmp.Row(y)[3 * x] = static_cast<std::uint8_t>(x);
            bmp.Row(y)[3 * x + 1] = static_cast<std::uint8_t>(y);
        }
    return bmp;
}

} // namespace

TEST(Orientation, CodesOutsideOneToEightShowThePictureAsStored) {
    for (std::uint32_t code = 1; code <= 8; ++code)
        EXPECT_EQ(static_cast<std::uint32_t>(OrientationFromCode(code)), code);
    for (const std::uint32_t code : {0u, 9u, 255u, 256u + 6u, 0xFFFFFFFFu})
        EXPECT_EQ(OrientationFromCode(code), Orientation::AsStored) << code;
}

// Every upright pixel maps to the stored pixel the plain turn puts there, and back, on a
// picture of odd sides that differ.
TEST(UprightMapping, PixelsMapAsThePictureIsTurned) {
    const Bitmap stored = CoordinateBitmap(5, 3);
    for (const Orientation orientation : kAllOrientations) {
        const Bitmap upright = ReferenceUpright(stored, orientation);
        const UprightMapping mapping(orientation, {5, 3});
        ASSERT_EQ(mapping.Upright(), (Size{upright.Width(), upright.Height()}));
        for (int y = 0; y < upright.Height(); ++y)
            for (int x = 0; x < upright.Width(); ++x) {
                const Point expected{upright.Row(y)[3 * x], upright.Row(y)[3 * x + 1]};
                EXPECT_EQ(mapping.ToStored(Point{x, y}), expected)
                    << "code " << int(orientation) << " at " << x << "," << y;
                EXPECT_EQ(mapping.ToUpright(expected), (Point{x, y}));
            }
    }
}

// A rectangle maps to the smallest rectangle holding its mapped pixels, which are exactly as
// many; inside the picture, across its edges and beyond it.
TEST(UprightMapping, RectanglesHoldExactlyTheirMappedPixels) {
    const Rect rects[] = {{0, 0, 3, 5},   {1, 2, 2, 2}, {2, 4, 1, 1}, {0, 0, 1, 1},
                          {-2, -1, 7, 9}, {2, 3, 4, 4}, {6, 1, 3, 2}};
    for (const Orientation orientation : kAllOrientations) {
        const UprightMapping mapping(orientation, {5, 3});
        for (const Rect& upright : rects) {
            const Rect stored = mapping.ToStored(upright);
            EXPECT_EQ(stored.width * stored.height, upright.width * upright.height);
            for (int y = upright.top; y < upright.top + upright.height; ++y)
                for (int x = upright.left; x < upright.left + upright.width; ++x) {
                    const Point p = mapping.ToStored(Point{x, y});
                    EXPECT_TRUE(p.x >= stored.left && p.x < stored.left + stored.width &&
                                p.y >= stored.top && p.y < stored.top + stored.height)
                        << "code " << int(orientation) << " pixel " << x << "," << y;
                }
            EXPECT_EQ(mapping.ToUpright(stored), upright);
        }
    }
}

TEST(UprightMapping, ACoordinateBeyondAnIntIsRefusedNotWrapped) {
    const UprightMapping mirrored(Orientation::MirroredLeftRight, {10, 10});
    EXPECT_THROW(mirrored.ToStored(Rect{INT_MIN, 0, 5, 5}), std::out_of_range);
    EXPECT_THROW(mirrored.ToUpright(Point{INT_MIN, 0}), std::out_of_range);
    const UprightMapping plain(Orientation::AsStored, {10, 10});
    EXPECT_EQ(plain.ToStored(Rect{INT_MIN, INT_MAX, 5, 0}), (Rect{INT_MIN, INT_MAX, 5, 0}));
}
