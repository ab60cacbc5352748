#include "picture/YccPlanes.h"

#include "picture/AreaCut.h"
#include "resample/DisplayScale.h"
#include "jpeg/JpegDecoder.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// How a test file is encoded: the first component's sampling (the others 1 x 1).
struct Encoding {
    int lumaH = 2;
    int lumaV = 2;
    bool grey = false;
    bool rgb = false; // store red, green, blue instead of YCbCr
    bool progressive = false;
    int restartRows = 0; // a restart marker every this many MCU rows
    int restartMcus = 0; // or every this many MCUs
    bool noise = false;  // random colours: much of it outside RGB once decoded
};

Bitmap NoiseBitmap(int width, int height) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    std::uint32_t seed = 99;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 3; ++i) {
            seed = seed * 1664525u + 1013904223u;
            bmp.Row(y)[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    return bmp;
}

Bytes Encode(int width, int height, const Encoding& e) {
    return EncodeJpeg(e.noise ? NoiseBitmap(width, height) : PhotoLikeBitmap(width, height),
                      {.progressive = e.progressive,
                       .grayscale = e.grey,
                       .lumaH = e.lumaH,
                       .lumaV = e.lumaV,
                       .rgbComponents = e.rgb,
                       .restartRows = e.restartRows,
                       .restartMcus = e.restartMcus});
}

Bytes Truncated(Bytes jpeg, int percent) {
    jpeg.resize(jpeg.size() * static_cast<std::size_t>(percent) / 100);
    return jpeg;
}

// Entropy-coded bytes in the middle of the first scan overwritten.
Bytes Damaged(Bytes jpeg) {
    const std::size_t from = FirstScanData(jpeg);
    const std::size_t at = from + (jpeg.size() - from) / 3;
    for (std::size_t i = at; i < at + 12 && i + 2 < jpeg.size(); ++i)
        if (jpeg[i] != 0xFF && jpeg[i - 1] != 0xFF)
            jpeg[i] = static_cast<std::uint8_t>(jpeg[i] ^ 0x5A);
    return jpeg;
}

struct Case {
    std::string name;
    std::function<Bytes()> make;
    bool kept; // kept as planes
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    const auto add = [&](std::string name, bool kept, std::function<Bytes()> make) {
        cases.push_back({std::move(name), std::move(make), kept});
    };
    for (const auto& [sampling, h, v] :
         {std::tuple{"420", 2, 2}, std::tuple{"422", 2, 1}, std::tuple{"440", 1, 2}}) {
        const std::string s = sampling;
        const Encoding e{.lumaH = h, .lumaV = v};
        // Tiny pictures, where chroma planes of one or two columns are doubled without the
        // filter, odd sizes and sizes that are not whole blocks or MCUs.
        for (const auto& [w, hh] :
             {std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 3}, std::pair{5, 3}, std::pair{1, 7},
              std::pair{2, 7}, std::pair{3, 7}, std::pair{4, 7}, std::pair{5, 7}, std::pair{6, 5},
              std::pair{7, 2}, std::pair{17, 9}, std::pair{16, 16}, std::pair{31, 33},
              std::pair{64, 48}, std::pair{100, 1}, std::pair{1, 100}, std::pair{203, 151}})
            add(s + "_" + std::to_string(w) + "x" + std::to_string(hh), true,
                [=] { return Encode(w, hh, e); });
        const Encoding noise{.lumaH = h, .lumaV = v, .noise = true};
        const Encoding progressive{.lumaH = h, .lumaV = v, .progressive = true};
        const Encoding restartRows{.lumaH = h, .lumaV = v, .restartRows = 1};
        const Encoding restartMcus{.lumaH = h, .lumaV = v, .restartMcus = 3};
        add(s + "_noise_61x45", true, [=] { return Encode(61, 45, noise); });
        add(s + "_progressive_203x151", true, [=] { return Encode(203, 151, progressive); });
        add(s + "_progressive_33x17", true, [=] { return Encode(33, 17, progressive); });
        add(s + "_restart_rows_203x151", true, [=] { return Encode(203, 151, restartRows); });
        add(s + "_restart_mcus_99x70", true, [=] { return Encode(99, 70, restartMcus); });
        add(s + "_truncated_203x151", true, [=] { return Truncated(Encode(203, 151, e), 60); });
        add(s + "_progressive_truncated_203x151", true,
            [=] { return Truncated(Encode(203, 151, progressive), 50); });
        add(s + "_damaged_203x151", true, [=] { return Damaged(Encode(203, 151, e)); });
        add(s + "_progressive_damaged_203x151", true,
            [=] { return Damaged(Encode(203, 151, progressive)); });
    }
    const Encoding grey{.lumaH = 1, .lumaV = 1, .grey = true};
    add("grey_1x1", true, [=] { return Encode(1, 1, grey); });
    add("grey_5x3", true, [=] { return Encode(5, 3, grey); });
    add("grey_203x151", true, [=] { return Encode(203, 151, grey); });
    add("grey_progressive_77x51", true, [=] {
        return Encode(77, 51, {.lumaH = 1, .lumaV = 1, .grey = true, .progressive = true});
    });
    add("grey_truncated_203x151", true, [=] { return Truncated(Encode(203, 151, grey), 50); });
    // One component sampled 2 x 2: libjpeg hands out 16 rows at a time.
    add("grey_sampled_2x2_37x35", true, [=] { return Encode(37, 35, {.grey = true}); });
    // Kept as 24-bit pixels.
    add("444_45x31", false, [] { return Encode(45, 31, {.lumaH = 1, .lumaV = 1}); });
    add("411_45x31", false, [] { return Encode(45, 31, {.lumaH = 4, .lumaV = 1}); });
    add("rgb_420_45x31", false, [] { return Encode(45, 31, {.rgb = true}); });
    add("cmyk_45x31", false, [] { return EncodeJpeg(GradientBitmap(45, 31), {.cmyk = true}); });
    return cases;
}

// The first pixel of the rectangle where `got` (the rectangle's pixels) differs from `whole`.
std::string FirstDifference(const Bitmap& got, const Bitmap& whole, int left, int top) {
    for (int y = 0; y < got.Height(); ++y)
        for (int x = 0; x < got.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (got.Row(y)[3 * x + c] != whole.Row(top + y)[3 * (left + x) + c]) {
                    std::ostringstream out;
                    out << "rectangle at " << left << "," << top << " of " << got.Width() << " x "
                        << got.Height() << ": pixel " << left + x << "," << top + y << " channel "
                        << c << " is " << int{got.Row(y)[3 * x + c]} << ", decoded "
                        << int{whole.Row(top + y)[3 * (left + x) + c]};
                    return out.str();
                }
    return {};
}

// Rectangles of the picture that start and end at odd and even places and at its edges,
// single rows and columns among them.
std::vector<std::array<int, 4>> Rectangles(int width, int height) {
    std::vector<std::array<int, 4>> out = {{0, 0, width, height}};
    for (int y = 0; y < height; y += std::max(1, height / 9))
        out.push_back({0, y, width, 1});
    out.push_back({0, height - 1, width, 1});
    for (int x = 0; x < width; x += std::max(1, width / 9))
        out.push_back({x, 0, 1, height});
    out.push_back({width - 1, 0, 1, height});
    std::uint32_t seed = 7;
    const auto next = [&](int range) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(range));
    };
    for (int i = 0; i < 40; ++i) {
        const int w = 1 + next(std::min(width, 9));
        const int h = 1 + next(std::min(height, 9));
        const int left = i % 4 == 0 ? width - w : next(width - w + 1);
        const int top = i % 4 == 1 ? height - h : next(height - h + 1);
        out.push_back({left, top, w, h});
    }
    return out;
}

class YccPlanesExactness : public ::testing::TestWithParam<Case> {};

} // namespace

TEST_P(YccPlanesExactness, EveryRectangleReadsAsTheDecodeTo24Bit) {
    const Case& c = GetParam();
    const Bytes jpeg = c.make();
    const TempDir dir;
    WriteFile(dir / "a.jpg", jpeg);
    const RegularFile file((dir / "a.jpg").string());
    const JpegInfo info = ReadJpegHeader(file);
    ASSERT_EQ(KeptAsPlanes(info), c.kept);
    Bitmap expected;
    try {
        expected = DecodeJpeg(file);
    } catch (const JpegError& e) {
        EXPECT_THROW(DecodeJpegToKeep(file, info), JpegError) << e.what();
        return;
    }
    const DecodedPicture kept = DecodeJpegToKeep(file, info);
    ASSERT_EQ(kept.Planes() != nullptr, c.kept);
    ASSERT_EQ(kept.Width(), expected.Width());
    ASSERT_EQ(kept.Height(), expected.Height());
    if (c.kept && info.width * info.height >= 64 * 48) {
        EXPECT_LT(kept.SizeBytes(), expected.SizeBytes() * 5 / 6); // 2 bytes a pixel at most
    }
    for (const auto& [left, top, w, h] : Rectangles(info.width, info.height)) {
        const Bitmap part = kept.Copy(left, top, w, h);
        const std::string difference = FirstDifference(part, expected, left, top);
        ASSERT_TRUE(difference.empty()) << difference;
    }
}

INSTANTIATE_TEST_SUITE_P(YccPlanes, YccPlanesExactness, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return "f" + param.param.name;
                         });

TEST(YccPlanes, AHeaderThatNoLongerMatchesOrARaisedStopFlagGivesNoPicture) {
    const TempDir dir;
    WriteFile(dir / "a.jpg", Encode(48, 32, {}));
    const RegularFile file((dir / "a.jpg").string());
    const JpegInfo info = ReadJpegHeader(file);
    std::atomic<bool> stop{true};
    EXPECT_THROW(DecodeJpegToKeep(file, info, &stop), JpegDecodeStopped);
    // The same size with other sampling, as if the file had been replaced after its header
    // was read: the planes were made for 4:2:0.
    for (const Encoding& other : {Encoding{.lumaH = 2, .lumaV = 1},
                                  Encoding{.lumaH = 1, .lumaV = 1}, Encoding{.grey = true}}) {
        WriteFile(dir / "a.jpg", Encode(48, 32, other));
        EXPECT_THROW(DecodeJpegToKeep(file, info), JpegError);
    }
    const YccPlanes planes(YccPlanes::Layout::Quarter, 5, 3);
    std::uint8_t out[3 * 6];
    EXPECT_THROW(planes.ReadBgr(4, 0, 2, 1, out, 6), std::invalid_argument);
    EXPECT_THROW(planes.ReadBgr(0, -1, 1, 1, out, 6), std::invalid_argument);
}

// The window reduces and cuts a picture kept as planes a strip and a part at a time: the
// result must be the one of its 24-bit decode, whatever the strip and part boundaries.
TEST(YccPlanes, APictureKeptAsPlanesReducesAndCutsAsItsDecode) {
    const TempDir dir;
    WriteFile(dir / "a.jpg", Encode(203, 151, {}));
    const RegularFile file((dir / "a.jpg").string());
    const JpegInfo info = ReadJpegHeader(file);
    const DecodedPicture kept = DecodeJpegToKeep(file, info);
    ASSERT_NE(kept.Planes(), nullptr);
    const Bitmap decoded = DecodeJpeg(file);
    EXPECT_TRUE(ReduceForDisplay(kept, 61, 47).SamePixels(ReduceForDisplay(decoded, 61, 47)));
    EXPECT_TRUE(ReduceRegionForDisplay(kept, 150, 100, 33, 17, 80, 70)
                    .SamePixels(ReduceRegionForDisplay(decoded, 150, 100, 33, 17, 80, 70)));
    EXPECT_TRUE(CutArea(kept, -5, 140, 30, 20).SamePixels(CutArea(decoded, -5, 140, 30, 20)));
}
