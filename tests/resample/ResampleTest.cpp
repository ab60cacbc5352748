#include "resample/Resample.h"

#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace tessaly;
using tessaly::fixtures::GradientBitmap;
using tessaly::fixtures::SolidBitmap;

namespace {

using Levels = std::vector<int>;

// A one-row bitmap whose pixels are grey with the given levels.
Bitmap GreyRow(const Levels& levels) {
    Bitmap bmp(static_cast<int>(levels.size()), 1);
    for (std::size_t x = 0; x < levels.size(); ++x)
        for (int c = 0; c < 3; ++c)
            bmp.Row(0)[3 * x + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(levels[x]);
    return bmp;
}

// The same levels as a one-column bitmap.
Bitmap GreyColumn(const Levels& levels) {
    Bitmap bmp(1, static_cast<int>(levels.size()));
    for (std::size_t y = 0; y < levels.size(); ++y)
        for (int c = 0; c < 3; ++c)
            bmp.Row(static_cast<int>(y))[c] = static_cast<std::uint8_t>(levels[y]);
    return bmp;
}

// The levels of a grey row or column (the blue bytes), checking that the three channels
// agree.
Levels LevelsOf(const Bitmap& bmp) {
    Levels levels;
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            const std::uint8_t* p = bmp.Row(y) + 3 * x;
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[0], p[2]);
            levels.push_back(p[0]);
        }
    return levels;
}

// Resamples a row to `width` pixels, and the same levels as a column to `width` rows;
// both must give the same levels, which are returned.
Levels ResampleBothWays(const Levels& levels, int size) {
    Bitmap row = GreyRow(levels);
    Resample(row, size, 1);
    Bitmap column = GreyColumn(levels);
    Resample(column, 1, size);
    EXPECT_EQ(LevelsOf(row), LevelsOf(column)) << "horizontal and vertical passes differ";
    return LevelsOf(row);
}

Bitmap RandomBitmap(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Bitmap bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 3; ++i)
            bmp.Row(y)[i] = static_cast<std::uint8_t>(random());
    return bmp;
}

bool IsUniform(const Bitmap& bmp, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            const std::uint8_t* p = bmp.Row(y) + 3 * x;
            if (p[0] != b || p[1] != g || p[2] != r)
                return false;
        }
    return true;
}

// Cuts row y (or column x) out of a bitmap.
Bitmap RowOf(const Bitmap& bmp, int y) {
    Bitmap out(bmp.Width(), 1);
    std::copy(bmp.Row(y), bmp.Row(y) + 3 * bmp.Width(), out.Row(0));
    return out;
}

Bitmap ColumnOf(const Bitmap& bmp, int x) {
    Bitmap out(1, bmp.Height());
    for (int y = 0; y < bmp.Height(); ++y)
        std::copy(bmp.Row(y) + 3 * x, bmp.Row(y) + 3 * x + 3, out.Row(y));
    return out;
}

} // namespace

TEST(CubicWeights, GivesTheFixedPointLagrangeWeights) {
    EXPECT_EQ(CubicWeights(1.5L, 1048576), (CubicWeightSet{-65535, 589824, 589824, -65535}));
    EXPECT_EQ(CubicWeights(1.0L, 1048576), (CubicWeightSet{0, 1048576, 0, 0}));
    EXPECT_EQ(CubicWeights(1.25L, 1048576), (CubicWeightSet{-57343, 860160, 286720, -40959}));
}

TEST(Enlarge, RowExamples) {
    EXPECT_EQ(ResampleBothWays({0, 255}, 3), (Levels{0, 128, 255}));
    // The repeated edge pulls the second pixel down to 14.
    EXPECT_EQ(ResampleBothWays({10, 20, 30, 40}, 7), (Levels{10, 14, 20, 25, 30, 36, 40}));
    // Overshoot is clamped to 0 and 255.
    EXPECT_EQ(ResampleBothWays({0, 0, 255, 255, 0, 0}, 11),
              (Levels{0, 0, 0, 128, 255, 255, 255, 128, 0, 0, 0}));
}

TEST(Enlarge, EndsEqualTheSourceEndsAndASinglePixelIsRepeated) {
    const Bitmap source = RandomBitmap(7, 5, 1);
    for (const auto& [w, h] : {std::pair{8, 5}, {29, 5}, {7, 6}, {7, 41}, {100, 77}}) {
        Bitmap bmp = source;
        Resample(bmp, w, h);
        ASSERT_EQ(bmp.Width(), w);
        ASSERT_EQ(bmp.Height(), h);
        // The corner pixels come through unchanged, channel by channel.
        for (const auto& [dx, dy, sx, sy] :
             {std::array{0, 0, 0, 0}, {w - 1, 0, 6, 0}, {0, h - 1, 0, 4}, {w - 1, h - 1, 6, 4}})
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(bmp.Row(dy)[3 * dx + c], source.Row(sy)[3 * sx + c])
                    << w << " x " << h << " corner " << dx << "," << dy << " channel " << c;
    }
    Bitmap single = SolidBitmap(1, 1, 10, 20, 30);
    Resample(single, 9, 4);
    EXPECT_TRUE(IsUniform(single, 10, 20, 30));
}

TEST(Reduce, RowExamples) {
    EXPECT_EQ(ResampleBothWays({0, 1}, 1), (Levels{0}));
    EXPECT_EQ(ResampleBothWays({1, 2}, 1), (Levels{1})); // bias 0.25 at a factor of 2
    EXPECT_EQ(ResampleBothWays({0, 90, 180}, 2), (Levels{30, 150}));
    EXPECT_EQ(ResampleBothWays({255, 255, 255}, 2), (Levels{255, 255}));
    EXPECT_EQ(ResampleBothWays(Levels(7, 100), 3), (Levels{100, 100, 100}));
    EXPECT_EQ(ResampleBothWays(Levels(64, 255), 1), (Levels{255}));
}

TEST(Reduce, ABoundaryFractionRoundingUpGivesTheWholePixelToTheLeft) {
    // 600,001 to 600,000: boundary 599,999 lies at 599,999 + 599,999/600,000, whose fraction
    // rounds up to a whole pixel, so source pixel 599,999 goes entirely to destination
    // 599,998 and destination 599,999 is source pixel 600,000 alone.
    Levels levels(600001, 0);
    levels[599999] = 100;
    levels[600000] = 200;
    const Levels out = ResampleBothWays(levels, 600000);
    ASSERT_EQ(out.size(), 600000u);
    EXPECT_EQ(out[599999], 200);
    EXPECT_EQ(out[599998], 100); // all of source pixel 599,999 and a sliver of a 0
}

TEST(ResampleProperties, AUniformPictureStaysUniformAtEverySize) {
    const std::vector<int> sizes = {1, 2, 3, 4, 5, 7, 10, 16, 31, 64, 65, 100, 257, 1000, 4099};
    const std::array<std::array<std::uint8_t, 3>, 4> colours = {
        {{0, 0, 0}, {255, 255, 255}, {1, 128, 254}, {200, 37, 99}}};
    for (const auto& colour : colours)
        for (int from : sizes)
            for (int to : sizes) {
                Bitmap row = SolidBitmap(from, 1, colour[0], colour[1], colour[2]);
                Resample(row, to, 1);
                EXPECT_TRUE(IsUniform(row, colour[0], colour[1], colour[2]))
                    << from << " -> " << to << " wide, colour " << int(colour[0]);
                Bitmap column = SolidBitmap(1, from, colour[0], colour[1], colour[2]);
                Resample(column, 1, to);
                EXPECT_TRUE(IsUniform(column, colour[0], colour[1], colour[2]))
                    << from << " -> " << to << " high, colour " << int(colour[0]);
            }
}

TEST(ResampleProperties, TheSameSizeChangesNoPixel) {
    const Bitmap source = GradientBitmap(37, 23, 3);
    Bitmap bmp = source;
    Resample(bmp, 37, 23);
    EXPECT_TRUE(bmp.SamePixels(source));
}

TEST(ResampleProperties, ChangingOnlyTheWidthResamplesEachRowOnItsOwn) {
    const Bitmap source = RandomBitmap(40, 9, 2);
    for (int width : {13, 97}) {
        Bitmap whole = source;
        Resample(whole, width, 9);
        for (int y = 0; y < 9; ++y) {
            Bitmap row = RowOf(source, y);
            Resample(row, width, 1);
            EXPECT_TRUE(RowOf(whole, y).SamePixels(row)) << "width " << width << " row " << y;
        }
    }
}

TEST(ResampleProperties, ChangingOnlyTheHeightResamplesEachColumnOnItsOwn) {
    const Bitmap source = RandomBitmap(9, 40, 3);
    for (int height : {13, 97}) {
        Bitmap whole = source;
        Resample(whole, 9, height);
        for (int x = 0; x < 9; ++x) {
            Bitmap column = ColumnOf(source, x);
            Resample(column, 1, height);
            EXPECT_TRUE(ColumnOf(whole, x).SamePixels(column)) << "height " << height;
        }
    }
}

// Regression: reducing by more than 64 times overflowed 32-bit sums (65 pixels of 255
// to one gave 2).
TEST(ReduceOverflow, MoreThan64TimesGivesTheTrueAverage) {
    EXPECT_EQ(ResampleBothWays(Levels(65, 255), 1), (Levels{255}));
    EXPECT_EQ(ResampleBothWays(Levels(100000, 255), 1), (Levels{255}));
    // Blocks of 100 pixels, half 10 and half 20, average to 15; 0..99 averages 49.5 + bias
    // 0.005, which rounds down to 49.
    Levels blocks;
    for (int b = 0; b < 10; ++b)
        for (int i = 0; i < 100; ++i)
            blocks.push_back(b < 5 ? (i < 50 ? 10 : 20) : i);
    EXPECT_EQ(ResampleBothWays(blocks, 10), (Levels{15, 15, 15, 15, 15, 49, 49, 49, 49, 49}));
}

TEST(ReduceOverflow, StrongReductionsAverageTheCoveredArea) {
    // With factors that are not whole numbers, compare with the exact area average: in
    // units of 1/dw of a source pixel, source pixel i spans [i dw, (i + 1) dw) and
    // destination pixel j spans [j sw, (j + 1) sw); the result is the covered mean plus
    // the bias 0.5 dw / sw, rounded down.
    std::mt19937 random(7);
    for (const auto& [sw, dw] : {std::pair{1000, 7}, {6543, 21}, {20000, 3}, {777, 11}}) {
        Levels levels(static_cast<std::size_t>(sw));
        for (int& v : levels)
            v = static_cast<int>(random() % 256);
        const Levels out = ResampleBothWays(levels, dw);
        for (int j = 0; j < dw; ++j) {
            std::int64_t weighted = 0;
            for (int i = 0; i < sw; ++i) {
                const std::int64_t lo =
                    std::max<std::int64_t>(std::int64_t{i} * dw, std::int64_t{j} * sw);
                const std::int64_t hi =
                    std::min<std::int64_t>(std::int64_t{i + 1} * dw, std::int64_t{j + 1} * sw);
                if (hi > lo)
                    weighted += levels[static_cast<std::size_t>(i)] * (hi - lo);
            }
            const std::int64_t expected = (2 * weighted + dw) / (2 * std::int64_t{sw});
            EXPECT_EQ(out[static_cast<std::size_t>(j)], expected)
                << sw << " -> " << dw << " @" << j;
        }
    }
}

TEST(ReduceOverflow, SumsStayNarrowUpTo64TimesAndAgreeAcrossTheSwitch) {
    // 64 times still uses 32-bit sums; 65 times the wide ones. A ramp averages to the same
    // value either way.
    Levels ramp64, ramp65;
    for (int i = 0; i < 64; ++i)
        ramp64.push_back(i * 4);
    for (int i = 0; i < 65; ++i)
        ramp65.push_back(i * 4 - (i == 64 ? 130 : 0)); // last pixel 126 keeps the mean 126
    EXPECT_EQ(ResampleBothWays(ramp64, 1), (Levels{126}));
    EXPECT_EQ(ResampleBothWays(ramp65, 1), (Levels{126}));
}

// Regression: a target size below 1 divided by zero.
TEST(TargetSize, BelowOneThrowsAndAnEmptyBitmapIsLeftAlone) {
    Bitmap bmp = SolidBitmap(4, 4, 1, 2, 3);
    EXPECT_THROW(Resample(bmp, 0, 4), std::invalid_argument);
    EXPECT_THROW(Resample(bmp, 4, 0), std::invalid_argument);
    EXPECT_THROW(Resample(bmp, -3, 2), std::invalid_argument);
    EXPECT_TRUE(IsUniform(bmp, 1, 2, 3));
    EXPECT_EQ(bmp.Width(), 4);

    Bitmap empty;
    EXPECT_NO_THROW(Resample(empty, 0, 0));
    EXPECT_NO_THROW(Resample(empty, 10, 10));
    EXPECT_TRUE(empty.Empty());
}

TEST(TargetSize, PassesRefuseSizesThatDoNotFitThem) {
    const Bitmap src = SolidBitmap(4, 4, 0, 0, 0);
    ResampleProgress quiet;
    Bitmap zeroWide(0, 4), sameWidth(4, 4), otherHeight(5, 3);
    EXPECT_THROW(ResampleWidth(src, zeroWide, quiet), std::invalid_argument);
    EXPECT_THROW(ResampleWidth(src, sameWidth, quiet), std::invalid_argument);
    EXPECT_THROW(ResampleWidth(src, otherHeight, quiet), std::invalid_argument);
    Bitmap zeroHigh(4, 0), sameHeight(4, 4), otherWidth(3, 5);
    EXPECT_THROW(ResampleHeight(src, zeroHigh, quiet), std::invalid_argument);
    EXPECT_THROW(ResampleHeight(src, sameHeight, quiet), std::invalid_argument);
    EXPECT_THROW(ResampleHeight(src, otherWidth, quiet), std::invalid_argument);
}

TEST(TargetSize, SizesBeyondThePictureLimitAreRefusedBeforeAnyWork) {
    // Each would first allocate gigabytes: the output itself, or the intermediate of the
    // width pass (4 x 268 M for a 4 x 1 answer).
    Bitmap column = SolidBitmap(1, 1 << 16, 9, 9, 9);
    EXPECT_THROW(Resample(column, 1 << 13, 1), std::invalid_argument);
    EXPECT_EQ(column.Width(), 1) << "untouched";
    Bitmap dot = SolidBitmap(1, 1, 9, 9, 9);
    EXPECT_THROW(Resample(dot, 1 << 15, 1 << 14), std::invalid_argument);
}

namespace {

std::vector<int> g_reports;
void Record(std::int32_t percent) {
    g_reports.push_back(percent);
}

} // namespace

TEST(ResampleProgress, PassesReportsOnAtMostOnceEvery50Milliseconds) {
    // The clock is the test's own, so that no report depends on how fast the test runs.
    std::uint32_t now = 1000;
    const TickSource clock = [&] { return now; };
    g_reports.clear();
    ResampleProgress none(nullptr, 12345, clock);
    none.Report(30);
    none.Report(0);
    EXPECT_EQ(none.LastTick(), 12345u) << "no callback, no state change";

    ResampleProgress progress(Record, 0, clock);
    progress.Report(0);
    EXPECT_TRUE(g_reports.empty()) << "0 only restarts the interval";
    EXPECT_EQ(progress.LastTick(), 1000u);
    now += 49;
    progress.Report(40);
    EXPECT_TRUE(g_reports.empty()) << "within 50 ms of the last report";
    now += 1;
    progress.Report(45);
    EXPECT_EQ(g_reports, (std::vector<int>{45}));
    EXPECT_EQ(progress.LastTick(), 1050u) << "the tick of the report is kept";

    // The tick wraps at 32 bits: 60 ms across the wrap still count as 60.
    progress.SetLastTick(0xFFFFFFF0u);
    now = 44;
    progress.Report(70);
    EXPECT_EQ(g_reports, (std::vector<int>{45, 70}));
}

TEST(ResampleProgress, EachPassReportsItsHalfAndOnlyTheHeightEnlargementOpensWithAReport) {
    // A clock 50 ms further at every reading lets every report through: the width pass
    // reports 0 to 50 (per destination column when enlarging, per row when reducing), the
    // height pass 50 to 100 per destination row; the height enlargement opens with 50, the
    // other passes with 0, which only restarts the interval.
    std::uint32_t now = 0;
    const auto reports = [&](auto pass, int width, int height) {
        g_reports.clear();
        ResampleProgress progress(Record, 0, [&] { return now += 50; });
        Bitmap dst(width, height);
        pass(SolidBitmap(3, 2, 0, 0, 0), dst, progress);
        return g_reports;
    };
    EXPECT_EQ(reports(ResampleWidth, 5, 2), (std::vector<int>{12, 25, 37, 50}));
    EXPECT_EQ(reports(ResampleWidth, 2, 2), (std::vector<int>{50}));
    EXPECT_EQ(reports(ResampleHeight, 3, 4), (std::vector<int>{50, 50, 66, 83, 100}));
    EXPECT_EQ(reports(ResampleHeight, 3, 1), (std::vector<int>{100}));
}
