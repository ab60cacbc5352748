#include "picture/Bitmap.h"

#include <gtest/gtest.h>

using tessaly::Bitmap;

TEST(Bitmap, RowsArePaddedToFourBytesAndStartBlack) {
    Bitmap bmp(5, 3);
    EXPECT_EQ(bmp.Stride(), 16u); // 15 bytes of pixels, padded
    EXPECT_EQ(bmp.SizeBytes(), 48u);
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(bmp.Row(y)[i], 0);
}

TEST(Bitmap, CopiesAreDeepAndMovesLeaveAnEmptyBitmap) {
    Bitmap a(2, 2);
    a.Fill(1, 2, 3);
    Bitmap b = a;
    b.Row(0)[0] = 9;
    EXPECT_EQ(a.Row(0)[0], 1);
    EXPECT_FALSE(a.SamePixels(b));
    Bitmap c = std::move(b);
    EXPECT_TRUE(b.Empty()); // NOLINT(bugprone-use-after-move): moved-from state is defined
    EXPECT_EQ(c.Row(0)[0], 9);
}

TEST(Bitmap, EmptyAndInvalidSizes) {
    EXPECT_TRUE(Bitmap().Empty());
    EXPECT_TRUE(Bitmap(0, 10).Empty());
    EXPECT_THROW(Bitmap(-1, 1), std::length_error);
    EXPECT_TRUE(Bitmap(0, 0).SamePixels(Bitmap()));
}
