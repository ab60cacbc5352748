#include "picture/UprightPixels.h"

#include "jpeg/JpegDecoder.h"
#include "tests/picture/UprightReference.h"
#include "tests/support/JpegFixtures.h"

#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace tessaly;
using namespace tessaly::fixtures;
using tessaly::testing::kAllOrientations;
using tessaly::testing::ReferenceUpright;

namespace {

// The rectangle of a bitmap, copied plainly.
Bitmap Part(const Bitmap& bmp, Rect r) {
    Bitmap out(r.width, r.height);
    for (int y = 0; y < r.height; ++y)
        std::memcpy(out.Row(y), bmp.Row(r.top + y) + 3 * r.left, 3 * std::size_t(r.width));
    return out;
}

// Areas of an upright picture of the given size: whole, single rows and columns at each
// edge, corners, and middles that cross block boundaries.
std::vector<Rect> Areas(Size s) {
    return {{0, 0, s.width, s.height},
            {s.width - 1, 0, 1, s.height},
            {0, s.height - 1, s.width, 1},
            {0, 0, 1, 1},
            {s.width - 1, s.height - 1, 1, 1},
            {s.width / 3, s.height / 4, s.width / 2, s.height / 2},
            {s.width - 70, s.height - 66, 70, 66},
            {5, 7, 0, 0}};
}

// Every area read upright equals the same part of the plain turn of the whole picture.
void ExpectUprightReads(const DecodedPicture& picture, const Bitmap& decoded) {
    for (const Orientation orientation : kAllOrientations) {
        const Bitmap upright = ReferenceUpright(decoded, orientation);
        for (const Rect& area : Areas({upright.Width(), upright.Height()})) {
            if (area.width == 0) {
                EXPECT_TRUE(CopyUpright(picture, orientation, area).Empty());
                continue;
            }
            EXPECT_TRUE(CopyUpright(picture, orientation, area).SamePixels(Part(upright, area)))
                << "code " << int(orientation) << " area " << area.left << "," << area.top << " "
                << area.width << "x" << area.height;
        }
    }
}

} // namespace

TEST(UprightPixels, AWholeBitmapIsTurnedAsThePlainTurn) {
    const Bitmap stored = GradientBitmap(137, 70, 4); // blocks of 64 and a remainder each way
    for (const Orientation orientation : kAllOrientations)
        EXPECT_TRUE(
            TurnUpright(stored, orientation).SamePixels(ReferenceUpright(stored, orientation)))
            << "code " << int(orientation);
}

// Wider than the tiles the pixels are turned in (1,024 columns).
TEST(UprightPixels, AreasOfAPictureKeptAs24BitPixels) {
    const Bitmap stored = GradientBitmap(1100, 77, 5);
    ExpectUprightReads(DecodedPicture(Bitmap(stored)), stored);
}

// The kept planes read upright are the plain turn of the file's 24-bit decode.
TEST(UprightPixels, AreasOfAPictureKeptAsPlanes) {
    for (const auto& [lumaH, lumaV, grey] :
         {std::tuple{2, 2, false}, std::tuple{2, 1, false}, std::tuple{1, 1, true}}) {
        const Bytes jpeg = EncodeJpeg(PhotoLikeBitmap(1100, 77),
                                      {.grayscale = grey, .lumaH = lumaH, .lumaV = lumaV});
        const DecodedPicture kept = DecodeJpegToKeep(jpeg, ReadJpegHeader(jpeg));
        ASSERT_NE(kept.Planes(), nullptr);
        ExpectUprightReads(kept, DecodeJpeg(jpeg));
    }
}

// Rows written into a larger bitmap fill the area and nothing around it.
TEST(UprightPixels, OnlyTheAreaOfTheOutputIsWritten) {
    const Bitmap stored = GradientBitmap(90, 70, 6);
    for (const Orientation orientation : kAllOrientations) {
        const Bitmap upright = ReferenceUpright(stored, orientation);
        Bitmap canvas(upright.Width() + 10, upright.Height() + 10);
        canvas.Fill(1, 2, 3);
        const Rect area{3, 4, upright.Width() - 5, upright.Height() - 6};
        ReadUprightBgr(stored, orientation, area, canvas.Row(5) + 3 * 5, canvas.Stride());
        Bitmap expected(canvas.Width(), canvas.Height());
        expected.Fill(1, 2, 3);
        for (int y = 0; y < area.height; ++y)
            std::memcpy(expected.Row(5 + y) + 15, upright.Row(area.top + y) + 3 * area.left,
                        3 * std::size_t(area.width));
        EXPECT_TRUE(canvas.SamePixels(expected)) << "code " << int(orientation);
    }
}

TEST(UprightPixels, AnAreaBeyondTheUprightPictureIsRefused) {
    const DecodedPicture picture(GradientBitmap(40, 30, 1));
    // 30 wide and 40 high upright: the stored width fits down, not across.
    EXPECT_NO_THROW(CopyUpright(picture, Orientation::QuarterClockwise, {0, 0, 30, 40}));
    EXPECT_THROW(CopyUpright(picture, Orientation::QuarterClockwise, {0, 0, 40, 30}),
                 std::invalid_argument);
    EXPECT_THROW(CopyUpright(picture, Orientation::HalfTurn, {-1, 0, 5, 5}), std::invalid_argument);
    EXPECT_THROW(CopyUpright(picture, Orientation::Transversed, {25, 35, 6, 5}),
                 std::invalid_argument);
}
