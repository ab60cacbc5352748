#include "base/Rounding.h"
#include "resample/Monochrome.h"
#include "resample/OutputPicture.h"
#include "resample/PixelKernels.h"
#include "resample/Resample.h"
#include "resample/Sepia.h"
#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <random>

using namespace tessaly;
using tessaly::fixtures::GradientBitmap;
using tessaly::fixtures::SolidBitmap;

namespace {

using Pixel = std::array<int, 3>; // blue, green, red

Pixel PixelAt(const Bitmap& bmp, int x, int y) {
    const std::uint8_t* p = bmp.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

Pixel SepiaOf(const Pixel& in) {
    Bitmap bmp = SolidBitmap(1, 1, static_cast<std::uint8_t>(in[0]),
                             static_cast<std::uint8_t>(in[1]), static_cast<std::uint8_t>(in[2]));
    TintSepia(bmp);
    return PixelAt(bmp, 0, 0);
}

Pixel MonochromeOf(const Pixel& in) {
    Bitmap grey = ToMonochrome(SolidBitmap(1, 1, static_cast<std::uint8_t>(in[0]),
                                           static_cast<std::uint8_t>(in[1]),
                                           static_cast<std::uint8_t>(in[2])));
    return PixelAt(grey, 0, 0);
}

Pixel Entry(const SepiaEntry& e) {
    return {e.blue, e.green, e.red};
}

// A 4096 x 4096 picture holding each of the 16,777,216 colours once: pixel (x, y) has
// blue x % 256, green y % 256 and red (y / 256) * 16 + x / 256.
Bitmap EveryColour() {
    Bitmap bmp = Bitmap::Uninitialized(4096, 4096);
    for (int y = 0; y < 4096; ++y) {
        std::uint8_t* p = bmp.Row(y);
        for (int x = 0; x < 4096; ++x, p += 3) {
            p[0] = static_cast<std::uint8_t>(x % 256);
            p[1] = static_cast<std::uint8_t>(y % 256);
            p[2] = static_cast<std::uint8_t>((y / 256) * 16 + x / 256);
        }
    }
    return bmp;
}

// The grey level as the extended-precision weighted sum defines it.
std::uint8_t ExtendedLevel(int b, int g, int r) {
    return ClipByte(Round((r * 0.289L + g * 0.586L) + b * 0.114L));
}

} // namespace

TEST(Sepia, TableEntries) {
    const std::vector<SepiaEntry> table = SepiaTable();
    ASSERT_EQ(table.size(), 65537u);
    EXPECT_EQ(Entry(table[0]), (Pixel{0, 0, 25}));
    EXPECT_EQ(Entry(table[32768]), (Pixel{92, 122, 153}));
    EXPECT_EQ(Entry(table[65535]), (Pixel{220, 249, 255}));
    EXPECT_EQ(Entry(table[65536]), (Pixel{220, 249, 255}));
    // Dark levels keep some red: green stays 0 below 1,634, blue below 9,215; red reaches
    // 255 from 58,882 on.
    EXPECT_EQ(table[1633].green, 0);
    EXPECT_GT(table[1634].green, 0);
    EXPECT_EQ(table[9214].blue, 0);
    EXPECT_GT(table[9215].blue, 0);
    EXPECT_LT(table[58881].red, 255);
    EXPECT_EQ(table[58882].red, 255);
}

TEST(Sepia, PixelsTakeTheToneOfTheirBrightness) {
    struct Case {
        Pixel in;
        std::uint32_t index;
        Pixel out;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, {0, 0, 25}},
        {{255, 255, 255}, 65535, {220, 249, 255}},
        {{128, 128, 128}, 32896, {93, 122, 153}},
        {{64, 64, 64}, 16448, {29, 58, 89}},
        {{192, 192, 192}, 49344, {157, 186, 217}},
        {{0, 0, 255}, 19595, {41, 70, 102}},   // red
        {{0, 255, 0}, 38469, {114, 144, 175}}, // green
        {{255, 0, 0}, 7470, {0, 23, 54}},      // blue
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SepiaIndex(static_cast<std::uint8_t>(c.in[0]), static_cast<std::uint8_t>(c.in[1]),
                             static_cast<std::uint8_t>(c.in[2])),
                  c.index);
        EXPECT_EQ(SepiaOf(c.in), c.out) << c.in[0] << "," << c.in[1] << "," << c.in[2];
    }
}

TEST(Monochrome, PixelExamples) {
    EXPECT_EQ(MonochromeOf({255, 255, 255}), (Pixel{252, 252, 252}));
    EXPECT_EQ(MonochromeOf({0, 0, 0}), (Pixel{0, 0, 0}));
    EXPECT_EQ(MonochromeOf({0, 0, 255}), (Pixel{74, 74, 74}));    // red
    EXPECT_EQ(MonochromeOf({0, 255, 0}), (Pixel{149, 149, 149})); // green
    EXPECT_EQ(MonochromeOf({255, 0, 0}), (Pixel{29, 29, 29}));    // blue
    EXPECT_EQ(MonochromeOf({100, 150, 200}), (Pixel{157, 157, 157}));
}

// The integer shortcuts (plain and vector loops) must agree with the extended-precision
// weighted sum, rounded half to even, for every one of the 16,777,216 colours.
TEST(Monochrome, IntegerLevelsEqualTheExtendedSumForEveryColour) {
    const Bitmap colours = EveryColour();
    const Bitmap grey = ToMonochrome(colours);
    std::uint64_t mismatches = 0;
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const Pixel in = PixelAt(colours, x, y);
            const int expected = ExtendedLevel(in[0], in[1], in[2]);
            const int plain =
                MonochromeLevel(static_cast<std::uint8_t>(in[0]), static_cast<std::uint8_t>(in[1]),
                                static_cast<std::uint8_t>(in[2]));
            const Pixel out = PixelAt(grey, x, y);
            if ((plain != expected || out != Pixel{expected, expected, expected}) &&
                ++mismatches <= 5)
                ADD_FAILURE() << "b,g,r = " << in[0] << "," << in[1] << "," << in[2] << ": "
                              << plain << " / " << out[0] << " instead of " << expected;
        }
    EXPECT_EQ(mismatches, 0u);
}

TEST(Sepia, EveryColourTakesTheToneOfItsIndex) {
    Bitmap bmp = EveryColour();
    const Bitmap colours = bmp;
    TintSepia(bmp);
    const std::vector<SepiaEntry> table = SepiaTable();
    std::uint64_t mismatches = 0;
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const Pixel in = PixelAt(colours, x, y);
            const std::uint32_t index =
                SepiaIndex(static_cast<std::uint8_t>(in[0]), static_cast<std::uint8_t>(in[1]),
                           static_cast<std::uint8_t>(in[2]));
            if (PixelAt(bmp, x, y) != Entry(table[index]) && ++mismatches <= 5)
                ADD_FAILURE() << "b,g,r = " << in[0] << "," << in[1] << "," << in[2];
        }
    EXPECT_EQ(mismatches, 0u);
}

TEST(Sepia, ToneOffsetsReproduceTheTableAtEveryIndex) {
    const std::vector<SepiaEntry> table = SepiaTable();
    const SepiaToneOffsets offsets = SepiaOffsets();
    const auto channel = [](std::int64_t i, std::int32_t offset) {
        return static_cast<int>(std::clamp<std::int64_t>((i * 255 + offset) >> 16, 0, 255));
    };
    for (std::int64_t i = 0; i < 65537; ++i) {
        const Pixel computed = {channel(i, offsets.blue), channel(i, offsets.green),
                                channel(i, offsets.red)};
        ASSERT_EQ(computed, Entry(table[static_cast<std::size_t>(i)])) << "index " << i;
    }
}

TEST(PixelLoops, VectorAndPlainLoopsAgreeAtEveryLength) {
    if (!kernels::VectorLoopsAvailable())
        GTEST_SKIP() << "no vector loops on this processor";
    const std::vector<SepiaEntry> table = SepiaTable();
    std::vector<std::uint32_t> tones(table.size());
    for (std::size_t i = 0; i < tones.size(); ++i)
        tones[i] = table[i].blue | (std::uint32_t{table[i].green} << 8) |
                   (std::uint32_t{table[i].red} << 16);
    std::mt19937 random(11);
    for (std::size_t count = 0; count <= 70; ++count) {
        std::vector<std::uint8_t> pixels(3 * count + 5);
        for (auto& v : pixels)
            v = static_cast<std::uint8_t>(random());
        // Pixels halfway between two grey levels (blue 54, green 4: 28.5) here and there.
        for (std::size_t i = 0; i < count; i += 7) {
            pixels[3 * i] = 54;
            pixels[3 * i + 1] = 4;
            pixels[3 * i + 2] = 0;
        }
        auto vector = pixels, plain = pixels;
        kernels::SepiaPixels(vector.data(), count, tones.data(), SepiaOffsets());
        kernels::SepiaPixelsPlain(plain.data(), count, tones.data());
        EXPECT_EQ(vector, plain) << "sepia, " << count << " pixels";
        vector = plain = pixels;
        kernels::MonochromePixels(vector.data(), count);
        kernels::MonochromePixelsPlain(plain.data(), count);
        EXPECT_EQ(vector, plain) << "monochrome, " << count << " pixels";
    }
}

TEST(MakeOutputPicture, SameSizeWithoutEffectsIsAnExactCopy) {
    const Bitmap source = GradientBitmap(31, 17, 5);
    Bitmap out(3, 3);
    MakeOutputPicture(source, out, 31, 17, PictureEffect::None);
    EXPECT_TRUE(out.SamePixels(source));
}

TEST(MakeOutputPicture, ResamplesThenTintsOrTurnsGrey) {
    const Bitmap source = GradientBitmap(40, 30, 1);

    Bitmap resampled = source;
    Resample(resampled, 25, 45);
    Bitmap out;
    MakeOutputPicture(source, out, 25, 45, PictureEffect::None);
    EXPECT_TRUE(out.SamePixels(resampled));

    Bitmap tinted = resampled;
    TintSepia(tinted);
    MakeOutputPicture(source, out, 25, 45, PictureEffect::Sepia);
    EXPECT_TRUE(out.SamePixels(tinted));

    MakeOutputPicture(source, out, 25, 45, PictureEffect::Mono);
    EXPECT_TRUE(out.SamePixels(ToMonochrome(resampled)));

    EXPECT_TRUE(source.SamePixels(GradientBitmap(40, 30, 1))) << "the source is left as it was";
}

TEST(MakeOutputPicture, EmptySourceAndInvalidSizes) {
    Bitmap empty;
    EXPECT_NO_THROW(TintSepia(empty));
    EXPECT_TRUE(ToMonochrome(Bitmap()).Empty());

    Bitmap out = SolidBitmap(2, 2, 1, 1, 1);
    MakeOutputPicture(Bitmap(), out, 0, 0, PictureEffect::Sepia);
    EXPECT_TRUE(out.Empty());
    Bitmap kept = SolidBitmap(2, 2, 1, 1, 1);
    EXPECT_THROW(MakeOutputPicture(GradientBitmap(4, 4), kept, 0, 4, PictureEffect::None),
                 std::invalid_argument);
    EXPECT_EQ(kept.Width(), 2) << "the destination is untouched after a failure";
}

TEST(MakeOutputRows, HandsOutTheRowsOfMakeOutputPictureOneByOne) {
    // Every way each pass can go (shrink, keep, grow) and every effect; 25 x 1000 is more
    // than one batch of rows.
    const Bitmap source = GradientBitmap(40, 30, 3);
    for (const auto& [width, height] :
         {std::pair{25, 17}, std::pair{25, 30}, std::pair{25, 71}, std::pair{40, 17},
          std::pair{40, 30}, std::pair{63, 71}, std::pair{25, 1000}}) {
        for (const PictureEffect effect :
             {PictureEffect::None, PictureEffect::Sepia, PictureEffect::Mono}) {
            Bitmap expected;
            MakeOutputPicture(source, expected, width, height, effect);
            Bitmap rows = Bitmap::Uninitialized(width, height);
            const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
            int y = 0;
            MakeOutputRows(source, width, height, effect, [&](std::span<std::uint8_t> made) {
                ASSERT_EQ(made.size() % rowBytes, 0u);
                for (; !made.empty(); made = made.subspan(rowBytes)) {
                    ASSERT_LT(y, height);
                    std::copy_n(made.begin(), rowBytes, rows.Row(y++));
                }
            });
            EXPECT_EQ(y, height);
            EXPECT_TRUE(rows.SamePixels(expected))
                << width << " x " << height << " effect " << static_cast<int>(effect);
        }
    }
    EXPECT_TRUE(source.SamePixels(GradientBitmap(40, 30, 3))) << "the source is left as it was";
}
