// Edits of an EXIF block where the file-level tests do not reach: a thumbnail that grows, an
// orientation in another type, values that do not fit, and blocks that do not hold together.
#include "jpegfile/ExifEdit.h"

#include "jpegfile/ExifOrientation.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

Bytes Data(const ExifBuilder& exif) {
    const Bytes segment = ExifSegment(exif.Build());
    return Bytes(segment.begin() + 4, segment.end());
}

} // namespace

TEST(ExifEdit, ThumbnailThatGrowsMovesToTheEndAndOneThatShrinksStays) {
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        ExifBuilder exif(order);
        exif.Ifd0().Short(274, 6);
        exif.Ifd1().Short(259, 6);
        exif.Thumbnail(Bytes(100, 0xAB));
        const Bytes data = Data(exif);
        const std::optional<ExifData> larger = WithThumbnail(data, Bytes(150, 0xCD));
        ASSERT_TRUE(larger);
        const auto grown = *ExifThumbnailBytes(*larger);
        EXPECT_EQ(Bytes(grown.begin(), grown.end()), Bytes(150, 0xCD));
        const std::optional<ExifData> smaller = WithThumbnail(data, Bytes(40, 0xEF));
        ASSERT_TRUE(smaller);
        EXPECT_EQ(smaller->size(), data.size());
        const auto shrunk = *ExifThumbnailBytes(*smaller);
        EXPECT_EQ(Bytes(shrunk.begin(), shrunk.end()), Bytes(40, 0xEF));
        const ExifData without = WithoutThumbnail(data);
        EXPECT_FALSE(ExifThumbnailBytes(without));
        EXPECT_EQ(ExifPayloadOrientationCode(without), 6u);
        EXPECT_LT(without.size(), data.size());
        // A thumbnail that would not fit a segment is refused.
        EXPECT_FALSE(WithThumbnail(data, Bytes(kMaxSegmentData, 1)));
    }
}

TEST(ExifEdit, OrientationInAnotherTypeIsWrittenAnewAsAShort) {
    ExifBuilder exif(ByteOrder::Motorola);
    exif.Ifd0().Ascii(271, "Camera maker").Long(274, 3).Long(0x8769, 0);
    const Bytes data = Data(exif);
    EXPECT_FALSE(OrientationValueOffset(data));
    const std::optional<ExifData> changed = WithOrientation(data, 8);
    ASSERT_TRUE(changed);
    EXPECT_EQ(ExifPayloadOrientationCode(*changed), 8u);
    EXPECT_TRUE(OrientationValueOffset(*changed));
}

TEST(ExifEdit, PixelSizesThatDoNotFitAShortLeaveTheBlockAsItWas) {
    ExifBuilder exif;
    exif.Exif().Short(0xA002, 4000).Short(0xA003, 3000);
    ExifData data = Data(exif);
    const ExifData before = data;
    EXPECT_FALSE(SetPixelDimensions(data, {70000, 3000}));
    EXPECT_EQ(data, before);
    EXPECT_TRUE(SetPixelDimensions(data, {3000, 4000}));
    EXPECT_EQ(ReadPixelDimensions(data), (PixelDimensions{3000, 4000}));
}

TEST(ExifEdit, BlockWhoseFirstDirectoryLiesOutsideIsNotChanged) {
    ExifBuilder exif;
    exif.Ifd0().Ascii(271, "Camera maker");
    Bytes data = Data(exif);
    data[6 + 4] = 0xF0; // the first directory far beyond the block
    EXPECT_FALSE(WithOrientation(data, 6));
    EXPECT_FALSE(OrientationValueOffset(data));
    EXPECT_EQ(WithoutThumbnail(data), data);
    EXPECT_EQ(ExifPayloadOrientationCode(MinimalExifData(7)), 7u);
}
