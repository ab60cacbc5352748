#include "picture/AreaCut.h"

#include "jpeg/JpegDecoder.h"
#include "tests/picture/UprightReference.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <gtest/gtest.h>

using namespace tessaly;
using tessaly::fixtures::GradientBitmap;

namespace {

std::array<int, 3> PixelAt(const Bitmap& bmp, int x, int y) {
    const std::uint8_t* p = bmp.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

// Every output pixel is the source pixel at the same offset from (x, y), or white where
// that lies outside the source.
void ExpectCut(const Bitmap& source, int x, int y, int w, int h) {
    const Bitmap cut = CutArea(source, x, y, w, h);
    ASSERT_EQ(cut.Width(), w);
    ASSERT_EQ(cut.Height(), h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int sx = x + i, sy = y + j;
            const bool inside = sx >= 0 && sy >= 0 && sx < source.Width() && sy < source.Height();
            const auto expected = inside ? PixelAt(source, sx, sy) : std::array{255, 255, 255};
            ASSERT_EQ(PixelAt(cut, i, j), expected)
                << "area " << x << "," << y << " " << w << "x" << h << " at " << i << "," << j;
        }
}

} // namespace

TEST(CutArea, CopiesTheBlockPixelForPixel) {
    const Bitmap source = GradientBitmap(40, 30, 1);
    ExpectCut(source, 5, 7, 10, 12);
    ExpectCut(source, 0, 0, 40, 30);
    ExpectCut(source, 39, 29, 1, 1);
}

TEST(CutArea, OutsideTheImageStaysWhite) {
    const Bitmap source = GradientBitmap(40, 30, 1);
    ExpectCut(source, 30, 20, 25, 25);   // beyond the right and bottom edges
    ExpectCut(source, -6, -4, 15, 10);   // left of and above the image
    ExpectCut(source, -10, -10, 60, 50); // all around it
    ExpectCut(source, 100, 5, 8, 8);     // entirely outside
    ExpectCut(source, -20, 5, 20, 8);    // ends just before the image
}

TEST(CutArea, ExtremeCoordinatesDoNotOverflow) {
    const Bitmap source = GradientBitmap(8, 8, 1);
    ExpectCut(source, 2147483647 - 3, 0, 3, 3);
    ExpectCut(source, -2147483647, -2147483647, 4, 4);
}

TEST(CutArea, AnEmptyAreaIsRefused) {
    const Bitmap source = GradientBitmap(8, 8, 1);
    EXPECT_THROW(CutArea(source, 0, 0, 0, 5), std::invalid_argument);
    EXPECT_THROW(CutArea(source, 0, 0, 5, -1), std::invalid_argument);
}

TEST(CutArea, OfTheUprightPictureIsTheCutOfItsTurnedPixels) {
    // Both kinds of kept picture (24-bit rows and planes), every orientation, an area reaching
    // beyond the upright picture's right and top edges (white there).
    const Bitmap stored = GradientBitmap(37, 21, 3);
    const JpegInfo planar = ReadJpegHeader(fixtures::EncodeJpeg(stored, {.quality = 95}));
    const DecodedPicture planes =
        DecodeJpegToKeep(fixtures::EncodeJpeg(stored, {.quality = 95}), planar);
    ASSERT_TRUE(planes.Planes() != nullptr);
    const Bitmap decoded = planes.Copy(0, 0, 37, 21);
    for (const Orientation orientation : tessaly::testing::kAllOrientations) {
        const Bitmap upright = tessaly::testing::ReferenceUpright(decoded, orientation);
        const int x = upright.Width() - 9, y = -4, w = 14, h = 11;
        EXPECT_TRUE(
            CutArea(decoded, orientation, x, y, w, h).SamePixels(CutArea(upright, x, y, w, h)))
            << static_cast<int>(orientation);
        EXPECT_TRUE(
            CutArea(planes, orientation, x, y, w, h).SamePixels(CutArea(upright, x, y, w, h)))
            << static_cast<int>(orientation);
    }
}
