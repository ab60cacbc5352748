#include "imaging/JpegDecoder.h"

#include "tests/support/JpegFixtures.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// Mean difference of the channels of two pictures of the same size.
double MeanDifference(const Bitmap& a, const Bitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int i = 0; i < a.Width() * 3; ++i)
            sum += std::abs(a.Row(y)[i] - b.Row(y)[i]);
    return sum / (a.Width() * a.Height() * 3.0);
}

// Offset of the last marker with the given code (0xFF, code) in a JPEG stream.
std::size_t LastMarker(const Bytes& jpeg, std::uint8_t code) {
    for (std::size_t i = jpeg.size() - 2; i > 0; --i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    return 0;
}

} // namespace

TEST(JpegDecoder, DecodesColourAtFullSizeInBlueGreenRedOrder) {
    const Bitmap source = SolidBitmap(33, 17, 200, 100, 30);
    const Bytes jpeg = EncodeJpeg(source, {.quality = 100});
    const JpegInfo info = ReadJpegHeader(jpeg);
    EXPECT_EQ(info.width, 33);
    EXPECT_EQ(info.height, 17);
    EXPECT_EQ(info.components, 3);
    const Bitmap decoded = DecodeJpeg(jpeg);
    ASSERT_EQ(decoded.Width(), 33);
    ASSERT_EQ(decoded.Height(), 17);
    EXPECT_LE(MeanDifference(source, decoded), 1.0);
}

TEST(JpegDecoder, GreyProgressiveArithmeticAndCmykFilesAllComeOutInColour) {
    const Bitmap source = GradientBitmap(64, 48);
    const Bytes grey = EncodeJpeg(source, {.grayscale = true});
    EXPECT_TRUE(ReadJpegHeader(grey).grayscale);
    const Bitmap g = DecodeJpeg(grey);
    EXPECT_EQ(g.Row(10)[30], g.Row(10)[31]); // equal blue, green and red
    EXPECT_EQ(g.Row(10)[31], g.Row(10)[32]);

    EXPECT_TRUE(ReadJpegHeader(EncodeJpeg(source, {.progressive = true})).progressive);
    EXPECT_LE(MeanDifference(source,
                             DecodeJpeg(EncodeJpeg(source, {.quality = 100, .progressive = true}))),
              4.0);
    EXPECT_LE(MeanDifference(source,
                             DecodeJpeg(EncodeJpeg(source, {.quality = 100, .arithmetic = true}))),
              4.0);

    const Bytes cmyk = EncodeJpeg(source, {.quality = 100, .cmyk = true});
    EXPECT_TRUE(ReadJpegHeader(cmyk).cmyk);
    EXPECT_LE(MeanDifference(source, DecodeJpeg(cmyk)), 4.0);
}

TEST(JpegDecoder, NotAJpegIsAnErrorNotACrash) {
    EXPECT_THROW(ReadJpegHeader(Bytes{}), JpegError);
    EXPECT_THROW(ReadJpegHeader(Bytes{'h', 'e', 'l', 'l', 'o'}), JpegError);
    EXPECT_THROW(DecodeJpeg(Bytes{0xFF, 0xD8, 0xFF, 0xD9}), JpegError);
}

TEST(JpegDecoder, TruncatedFileKeepsWhatWasDecodedAndPadsTheRestGrey) {
    const Bitmap source = GradientBitmap(256, 256);
    Bytes jpeg = EncodeJpeg(source, {.quality = 100});
    jpeg.resize(jpeg.size() / 2);
    const Bitmap decoded = DecodeJpeg(jpeg);
    ASSERT_EQ(decoded.Height(), 256);
    EXPECT_NEAR(decoded.Row(0)[3 * 255], 255, 3); // the top was decoded: the gradient's blue
    EXPECT_NEAR(decoded.Row(255)[0], 128, 3);     // the missing bottom is grey
    EXPECT_NEAR(decoded.Row(255)[3 * 255], 128, 3);
}

TEST(JpegDecoder, HugeHeaderIsRefusedBeforeAllocating) {
    Bytes jpeg = EncodeJpeg(SolidBitmap(8, 8, 1, 2, 3));
    const std::size_t sof = LastMarker(jpeg, 0xC0);
    ASSERT_GT(sof, 0u);
    // SOF0: FF C0, length (2), precision (1), height (2), width (2)
    jpeg[sof + 5] = 0xFF, jpeg[sof + 6] = 0xDC; // 65500
    jpeg[sof + 7] = 0xFF, jpeg[sof + 8] = 0xDC;
    const JpegInfo info = ReadJpegHeader(jpeg);
    EXPECT_EQ(info.width, 65500);
    EXPECT_THROW(CheckDecodable(info), JpegTooLarge);
    try {
        DecodeJpeg(jpeg);
        FAIL() << "a 65500 x 65500 picture must be refused";
    } catch (const JpegTooLarge& e) {
        EXPECT_EQ(e.width(), 65500);
        EXPECT_EQ(e.height(), 65500);
    }
}

TEST(JpegDecoder, ThousandsOfScansAreRefusedQuickly) {
    Bytes jpeg = EncodeJpeg(GradientBitmap(512, 512), {.progressive = true});
    const std::size_t lastScan = LastMarker(jpeg, 0xDA);
    const Bytes scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan), jpeg.end() - 2);
    Bytes hostile(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < 3000; ++i)
        hostile.insert(hostile.end(), scan.begin(), scan.end());
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(DecodeJpeg(hostile), JpegError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(JpegDecoder, ProgressiveFileCutAnywhereAfterItsFirstScanStillDecodes) {
    // A cut inside a later scan's tables or header is an error to libjpeg; the decoder then
    // decodes again without the damaged part and shows what the earlier scans hold.
    const Bitmap source = GradientBitmap(48, 32);
    const Bytes jpeg = EncodeJpeg(source, {.quality = 90, .progressive = true});
    std::size_t firstScan = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size() && !firstScan; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            firstScan = i;
    std::size_t secondMarker = 0;
    for (std::size_t i = firstScan + 2; i + 1 < jpeg.size() && !secondMarker; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] != 0x00 && (jpeg[i + 1] < 0xD0 || jpeg[i + 1] > 0xD7))
            secondMarker = i;
    ASSERT_GT(secondMarker, firstScan);
    for (std::size_t size = secondMarker; size <= jpeg.size(); ++size) {
        const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(size));
        try {
            const Bitmap decoded = DecodeJpeg(cut);
            EXPECT_LE(MeanDifference(source, decoded), 40.0) << "cut at " << size;
        } catch (const JpegError& e) {
            ADD_FAILURE() << "cut at " << size << " of " << jpeg.size() << ": " << e.what();
        }
    }
}
