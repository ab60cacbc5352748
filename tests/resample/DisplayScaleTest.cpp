// The box reduction for display, made row by row, against a plain transcription: each
// output pixel the mean, rounded half up, of the block of source pixels from
// floor(i x n / m) to floor((i + 1) x n / m) each way.
#include "resample/DisplayScale.h"

#include <gtest/gtest.h>
#include <random>

using namespace tessaly;

namespace {

Bitmap ReferenceReduce(const Bitmap& source, int width, int height) {
    const auto start = [](int i, int n, int m) {
        return static_cast<int>(static_cast<std::int64_t>(i) * n / m);
    };
    Bitmap out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int ya = start(y, source.Height(), height);
                const int yb = start(y + 1, source.Height(), height);
                const int xa = start(x, source.Width(), width);
                const int xb = start(x + 1, source.Width(), width);
                std::uint64_t sum = 0;
                for (int sy = ya; sy < yb; ++sy)
                    for (int sx = xa; sx < xb; ++sx)
                        sum += source.Row(sy)[3 * sx + c];
                const std::uint64_t count = static_cast<std::uint64_t>(yb - ya) * (xb - xa);
                out.Row(y)[3 * x + c] = static_cast<std::uint8_t>((sum + count / 2) / count);
            }
    return out;
}

Bitmap RandomBitmap(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < 3 * width; ++i)
            bmp.Row(y)[i] = static_cast<std::uint8_t>(random());
    return bmp;
}

} // namespace

TEST(DisplayScale, WholeCopiesAndTheirPartsEqualTheBlockMeans) {
    const Bitmap source = RandomBitmap(97, 61, 1);
    for (const auto& [w, h] : {std::pair{97, 61}, {96, 60}, {40, 7}, {1, 1}, {13, 61}}) {
        const Bitmap reference = ReferenceReduce(source, w, h);
        ASSERT_TRUE(ReduceForDisplay(source, w, h).SamePixels(reference)) << w << " x " << h;
        // Every part, made from the pixels under it alone, is the same part of the whole.
        for (const auto& [left, top] : {std::pair{0, 0}, {w / 3, h / 2}, {w - 1, h - 1}}) {
            const int pw = std::max(1, (w - left) / 2), ph = std::max(1, (h - top) / 2);
            const Bitmap part = ReduceRegionForDisplay(source, w, h, left, top, pw, ph);
            for (int y = 0; y < ph; ++y)
                for (int i = 0; i < 3 * pw; ++i)
                    ASSERT_EQ(part.Row(y)[i], reference.Row(top + y)[3 * left + i])
                        << w << " x " << h << " part at " << left << "," << top;
        }
    }
}

TEST(DisplayScale, ALargePictureSummedInTwoBandsEqualsTheBlockMeans) {
    // 4.2 megapixels: summed on two threads when the machine has two cores.
    const Bitmap source = RandomBitmap(2100, 2000, 2);
    EXPECT_TRUE(ReduceForDisplay(source, 301, 199).SamePixels(ReferenceReduce(source, 301, 199)));
}

TEST(DisplayScale, RowsFedAgainAfterARestartGiveTheSameCopy) {
    // A decode tried again feeds its rows from the top once more.
    const Bitmap source = RandomBitmap(50, 30, 3);
    const Bitmap garbage = RandomBitmap(50, 30, 4);
    Bitmap copy = Bitmap::Uninitialized(17, 11);
    DisplayReducer reducer(50, 30, copy);
    for (int y = 0; y < 20; ++y)
        reducer.AddRow(garbage.Row(y));
    reducer.Restart();
    for (int y = 0; y < 30; ++y)
        reducer.AddRow(source.Row(y));
    reducer.AddRow(garbage.Row(0)); // past the last row: ignored
    EXPECT_TRUE(copy.SamePixels(ReferenceReduce(source, 17, 11)));
    Bitmap wider(51, 30);
    EXPECT_THROW(DisplayReducer(50, 30, wider), std::invalid_argument);
}
