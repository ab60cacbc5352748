#include "cli/Ppm.h"

#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>
#include <string>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

} // namespace

TEST(Ppm, WritesRedGreenBlueAndReadsItBack) {
    Bitmap bmp(2, 1);
    bmp.Row(0)[0] = 1; // blue
    bmp.Row(0)[1] = 2; // green
    bmp.Row(0)[2] = 3; // red
    bmp.Row(0)[5] = 255;
    const Bytes bytes = WritePpm(bmp);
    EXPECT_EQ(bytes, BytesOf(std::string("P6\n2 1\n255\n\x03\x02\x01\xFF\x00\x00", 17)));
    EXPECT_TRUE(ReadPpm(bytes).SamePixels(bmp));

    const Bitmap gradient = GradientBitmap(33, 17);
    EXPECT_TRUE(ReadPpm(WritePpm(gradient)).SamePixels(gradient));
}

TEST(Ppm, HeaderWithCommentsAndOtherMaximumValues) {
    const Bitmap commented =
        ReadPpm(BytesOf(std::string("P6 # made by hand\n1\t# width\n1\r\n255\n\x0A\x14\x1E")));
    EXPECT_EQ(commented.Width(), 1);
    EXPECT_EQ(commented.Row(0)[0], 0x1E);
    EXPECT_EQ(commented.Row(0)[2], 0x0A);

    // Maximum 15: samples scale to 0 .. 255.
    const Bitmap fifteen = ReadPpm(BytesOf(std::string("P6 1 1 15 \x0F\x00\x07", 13)));
    EXPECT_EQ(fifteen.Row(0)[2], 255);
    EXPECT_EQ(fifteen.Row(0)[1], 0);
    EXPECT_EQ(fifteen.Row(0)[0], 119); // 7 / 15 of 255 = 119

    // Maximum 65535: two bytes a sample, most significant first.
    const Bitmap wide = ReadPpm(BytesOf(std::string("P6 1 1 65535\n\xFF\xFF\x00\x00\x80\x00", 19)));
    EXPECT_EQ(wide.Row(0)[2], 255);
    EXPECT_EQ(wide.Row(0)[1], 0);
    EXPECT_EQ(wide.Row(0)[0], 128);
}

TEST(Ppm, RefusesWhatIsNotACompleteBinaryPpm) {
    const char* bad[] = {
        "",                     // nothing
        "P3 1 1 255 0 0 0",     // plain text PPM
        "P6 1 1 255",           // no samples and no separator
        "P6 2 2 255\nabc",      // too few samples
        "P6 0 1 255\n",         // no width
        "P6 1 1 0\nabc",        // maximum 0
        "P6 1 1 70000\nabcdef", // maximum above 65535
        "P6 x 1 255\nabc",      // not a number
        "P6 99999999999 1 255\n",
        "P6 100000 100000 255\n", // above the pixel limit; refused before allocating
    };
    for (const char* text : bad)
        EXPECT_THROW(ReadPpm(BytesOf(text)), PpmError) << '"' << text << '"';
    EXPECT_FALSE(LooksLikePpm(BytesOf("P5 1 1 255 x")));
    EXPECT_TRUE(LooksLikePpm(BytesOf("P6")));
}
